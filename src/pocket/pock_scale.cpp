// pock_scale.cpp - the small-tool scale factor and the scaling of lengths, elements, contours and
// layers by it.
#include "pocket/pock_scale.h"

#include <cmath>
#include <vector>

#include "pocket/engine_state.h"
#include "pocket/layer_store.h"

namespace {
bool scaleIsIdentity() { return std::fabs(pockEngine().scaleFactor - 1.0) < kScaleIdentityTol; }

// Multiplies every coordinate of the element by f.
void scaleElemBy(ContourElement* e, double f) {
  e->p0 *= f;
  e->p1 *= f;
  e->p2 *= f;
  e->p3 *= f;
  if (e->type == kContArc) {
    e->p4 *= f;
    e->p5 *= f;
    e->radius *= f;
  }
}
}  // namespace

double scaleChooseFactor() {
  const double r25 = 25.0 * pockEngine().pockToolRadius;
  double f = 25.0;
  if (r25 < 0.1) {
    f = 500.0;
  } else if (r25 < 2.5) {
    f = 50.0;
  }
  pockEngine().scaleFactor = f;
  return f;
}

void scaleReset() { pockEngine().scaleFactor = 1.0; }

void scaleValue(double* length) {
  if (length != nullptr && !scaleIsIdentity()) *length *= pockEngine().scaleFactor;
}

void unscaleValue(double* length) {
  if (length != nullptr && !scaleIsIdentity()) *length /= pockEngine().scaleFactor;
}

void scaleElem(ContourElement* element) {
  if (element != nullptr && !scaleIsIdentity()) scaleElemBy(element, pockEngine().scaleFactor);
}

void unscaleElem(ContourElement* element) {
  if (element == nullptr || scaleIsIdentity()) return;
  const double f = pockEngine().scaleFactor;
  // Division, not multiplication by the reciprocal: a scale and unscale by 25 or 50 gives the
  // input back to the last bit in most cases.
  element->p0 /= f;
  element->p1 /= f;
  element->p2 /= f;
  element->p3 /= f;
  if (element->type == kContArc) {
    element->p4 /= f;
    element->p5 /= f;
    element->radius /= f;
  }
}

void scaleContour(ContourElement* elements, int n) {
  if (elements == nullptr) return;
  for (int i = 0; i < n; ++i) scaleElem(&elements[i]);
}

void unscaleContour(ContourElement* elements, int n) {
  if (elements == nullptr) return;
  for (int i = 0; i < n; ++i) unscaleElem(&elements[i]);
}

int scaleLayer(const char* name) {
  if (layerIndexOfName(name) < 0) return 0;
  if (scaleIsIdentity()) return 1;
  const int count = layerCount(name);
  std::vector<ContourElement> buffer;
  for (int i = 0; i < count; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i) return 0;
    buffer.resize(static_cast<std::size_t>(h.count > 0 ? h.count : 1));
    if (layerGetContour(name, buffer.data(), h.count, &h, i) != i) return 0;
    scaleContour(buffer.data(), h.count);
    scaleValue(&h.allowance);
    if (layerReplaceContour(name, buffer.data(), &h, i) != 1) return 0;
  }
  return 1;
}
