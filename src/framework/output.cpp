// output.cpp - the sorted layer list of a cycle run and the dispatch of one record to its layer's
// writer and listeners. A writer may emit further records, so dispatch is re-entrant.
#include "framework/output.h"

#include "framework/memory.h"

namespace {
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

int cycEmit(CycleRecord* cycle, std::uint16_t layer, OutputRecord* record) {
  if (cycle == nullptr || record == nullptr) return 0;
  if (cycle->firstOutputPending == 1) {
    cycle->firstOutputPending = 0;
    cycSendMessage(cycle, kMsgFirstOutput);
  }
  OutputLayer* l = outFindLayer(cycle, layer);
  if (l == nullptr || l->enabled != 1) return 0;
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
