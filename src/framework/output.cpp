// output.cpp - the sorted layer list of a cycle run and the dispatch of one record to its layer's
// writer and listeners. A writer may emit further records, so dispatch is re-entrant.
#include "framework/output.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "framework/memory.h"

namespace {
bool outAllFinite(std::initializer_list<double> values) {
  for (double v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// The flagged coordinates of a modal record; with5 adds u, v and w.
bool outModalFinite(const OutputModalForm& m, bool with5) {
  const double xyzuvw[6] = {m.x, m.y, m.z, m.u, m.v, m.w};
  const std::int32_t set[6] = {m.setX, m.setY, m.setZ, m.setU, m.setV, m.setW};
  for (int a = 0; a < (with5 ? 6 : 3); ++a) {
    if (set[a] != 0 && !std::isfinite(xyzuvw[a])) return false;
  }
  return true;
}

// Whether every number the record's type carries (and only those: the other fields of the
// form may hold anything) is finite. Records without numbers always are.
bool outRecordFinite(const OutputRecord& r) {
  const OutputMoveForm& m = r.move;
  const OutputNcForm& n = r.nc;
  const OutputArcForm& a = r.arc;
  switch (r.type) {
    case 3101:
    case 3111: return outAllFinite({m.x, m.y});
    case 3102:
    case 3112:
    case 3141: return outAllFinite({m.z});
    case 3103:
    case 3113: return outAllFinite({m.x, m.y, m.z});
    case 3104: return outAllFinite({m.x, m.y, m.z, m.sSet == 1 ? m.s : 0.0});
    case 3105:
    case 3115: return outAllFinite({m.x});
    case 3106:
    case 3116: return outAllFinite({m.y});
    case 3108:
    case 3117: return outAllFinite({m.x, m.y, m.u, m.v});
    case 3107:
    case 3114:
    case 4007:
    case 4016: return outModalFinite(r.modal, false);
    case 3109:
    case 3118:
    case 4019:
    case 4020: return outModalFinite(r.modal, true);
    case 3121: return outAllFinite({a.x, a.y, a.cx, a.cy});
    case 3122: return outAllFinite({a.x, a.y, a.z, a.cx, a.cy, a.cz});
    case 4001:
    case 4004: return outAllFinite({n.x, n.y});
    case 4002:
    case 4005:
    case 4041: return outAllFinite({n.z});
    case 4003:
    case 4006: return outAllFinite({n.x, n.y, n.z});
    case 4008:
    case 4009:
    case 4017:
    case 4018: return outAllFinite({n.x, n.y, n.i, n.j});
    case 4010:
    case 4011: return outAllFinite({n.x, n.y, n.z, n.i, n.j, n.k});
    case 4012:
    case 4014: return outAllFinite({n.x});
    case 4013:
    case 4015: return outAllFinite({n.y});
    case 7001:
      for (const auto& p : r.mark.p) {
        if (!outAllFinite({p[0], p[1], p[2]})) return false;
      }
      return true;
    default: return true;
  }
}

OutputLayer* outFindLayer(CycleRecord* cycle, std::uint16_t layer) {
  for (OutputLayer* l = cycle->layers; l != nullptr && l->layer <= layer; l = l->next) {
    if (l->layer == layer) return l;
  }
  return nullptr;
}
}  // namespace

int cycRegisterLayer(CycleRecord* cycle, std::uint16_t layer, OutputWriterFn textWriter,
                     OutputWriterFn exchangeWriter, int enabled) {
  if (cycle == nullptr) return 0;
  cycSendMessage(cycle, kMsgLayerBegin);
  int result = 1;
  if (OutputLayer* found = outFindLayer(cycle, layer)) {
    found->textWriter = textWriter;
    found->exchangeWriter = exchangeWriter;
    found->enabled = enabled;
  } else {
    auto* node = static_cast<OutputLayer*>(memAllocZero(sizeof(OutputLayer)));
    if (node == nullptr) {
      result = 0;
    } else {
      node->layer = layer;
      node->enabled = enabled;
      node->textWriter = textWriter;
      node->exchangeWriter = exchangeWriter;
      OutputLayer** at = &cycle->layers;
      while (*at != nullptr && (*at)->layer < layer) at = &(*at)->next;
      node->next = *at;
      *at = node;
    }
  }
  cycSendMessage(cycle, kMsgLayerEnd);
  return result;
}

int cycAddListener(CycleRecord* cycle, std::uint16_t layer, OutputListenerFn textFn, void* user,
                   OutputListenerFn exchangeFn, void* user2) {
  if (cycle == nullptr || (textFn == nullptr && exchangeFn == nullptr)) return 0;
  OutputLayer* l = outFindLayer(cycle, layer);
  if (l == nullptr) return 0;
  auto* node = static_cast<LayerListener*>(memAllocZero(sizeof(LayerListener)));
  if (node == nullptr) return 0;
  node->textFn = textFn;
  node->user = user;
  node->exchangeFn = exchangeFn;
  node->user2 = user2;
  LayerListener** at = &l->listeners;
  while (*at != nullptr) at = &(*at)->next;
  *at = node;
  return 1;
}

void cycFreeLayers(CycleRecord* cycle) {
  if (cycle == nullptr) return;
  OutputLayer* l = cycle->layers;
  cycle->layers = nullptr;
  while (l != nullptr) {
    LayerListener* s = l->listeners;
    while (s != nullptr) {
      LayerListener* nextListener = s->next;
      memFree(s);
      s = nextListener;
    }
    OutputLayer* next = l->next;
    memFree(l);
    l = next;
  }
}

int cycFailWithMessage(CycleRecord* cycle, int code, const char* argument) {
  if (cycle == nullptr) return 0;
  cycFailRun(cycle);  // first: a writer the message reaches sees the run as failed already
  OutputRecord r;
  std::memset(&r, 0, sizeof r);
  r.type = 101;
  std::snprintf(r.text.name, sizeof r.text.name, "error");
  std::snprintf(r.text.text, sizeof r.text.text, "%d,%s", code,
                argument != nullptr ? argument : "");
  return cycEmit(cycle, 0, &r);
}

int cycEmit(CycleRecord* cycle, std::uint16_t layer, OutputRecord* record) {
  if (cycle == nullptr || record == nullptr) return 0;
  if (cycle->firstOutputPending == 1) {
    cycle->firstOutputPending = 0;
    cycSendMessage(cycle, kMsgFirstOutput);
  }
  OutputLayer* l = outFindLayer(cycle, layer);
  if (l == nullptr || l->enabled != 1) return 0;
  // No writer and no host ever gets "inf" or "nan" for a position: the record is dropped and
  // the run fails, rather than a toolpath going out with a coordinate nobody can machine.
  if (!outRecordFinite(*record)) {
    char what[96];
    std::snprintf(what, sizeof what, "record %d on layer %u: a coordinate is not a finite number",
                  static_cast<int>(record->type), static_cast<unsigned>(layer));
    cycFailWithMessage(cycle, kCycMsgWriteFailed, what);
    return 0;
  }
  const bool exchange = cycle->outputMode == kCycOutputExchange;
  OutputWriterFn writer = exchange ? l->exchangeWriter : l->textWriter;
  const int result = writer != nullptr ? writer(cycle, record) : 0;
  // A writer may have freed or changed the list (an end record); look the layer up again.
  l = outFindLayer(cycle, layer);
  for (LayerListener* s = l != nullptr ? l->listeners : nullptr; s != nullptr; s = s->next) {
    if (exchange) {
      if (s->exchangeFn != nullptr) s->exchangeFn(cycle, record, s->user2);
    } else if (s->textFn != nullptr) {
      s->textFn(cycle, record, s->user);
    }
  }
  return result;
}
