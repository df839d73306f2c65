// output.h - the output layers of a cycle run: each numbered layer has a writer for POF text mode
// and one for exchange mode, an enabled flag and listeners (the host's forwarders among them).
// Every record a cycle hands out goes through cycEmit.
#pragma once

#include <cstdint>

#include "framework/cycle.h"

// A layer's writer: returns its result to cycEmit (1 written; the layer-0 writer 0 on a fatal
// error record).
using OutputWriterFn = int (*)(CycleRecord* cycle, OutputRecord* record);
// A listener of a layer; its result is ignored.
using OutputListenerFn = int (*)(CycleRecord* cycle, OutputRecord* record, void* user);

struct LayerListener {
  OutputListenerFn textFn;      // called in POF mode (may be null)
  void* user;                   // user word of textFn
  OutputListenerFn exchangeFn;  // called in exchange mode (may be null)
  void* user2;                  // user word of exchangeFn
  LayerListener* next;          // listeners stay in the order they were added
};

struct OutputLayer {
  std::uint16_t layer;   // the list is ascending and holds each number once
  std::int32_t enabled;  // records are written only when it is 1
  OutputWriterFn textWriter;
  OutputWriterFn exchangeWriter;
  LayerListener* listeners;
  OutputLayer* next;
};

// Registers a layer: sends framework message 131, replaces the writers and enabled flag of an
// existing layer (its listeners stay) or inserts a new node at its sorted place, sends 139.
// Returns 1; 0 when memory runs out (the list is unchanged).
int cycRegisterLayer(CycleRecord* cycle, std::uint16_t layer, OutputWriterFn textWriter,
                     OutputWriterFn exchangeWriter, int enabled);

// Appends a listener to a registered layer. Returns 1 appended; 0 when the layer is not
// registered, both functions are null, or memory runs out.
int cycAddListener(CycleRecord* cycle, std::uint16_t layer, OutputListenerFn textFn, void* user,
                   OutputListenerFn exchangeFn, void* user2);

// Frees every layer node and its listeners; the list becomes empty. Accepts null.
void cycFreeLayers(CycleRecord* cycle);

// Dispatches one record: the run's first record sends framework message 312 first (whether or not
// its layer is registered); then the layer's writer for the output mode is called and after it
// the layer's listeners for that mode, in order.
// Returns the writer's result; 0 when the layer is not registered or not enabled, when the record
// or cycle is null, or when the layer has no writer for the mode.
int cycEmit(CycleRecord* cycle, std::uint16_t layer, OutputRecord* record);

// Messages of a run that fails as a whole: an output that cannot be opened, written or closed
// ("<path>: <reason>"), and a value that must be a finite number but is not ("<key>: ...").
inline constexpr int kCycMsgWriteFailed = 1108;  // "* Fehler beim Schreiben der Zyklenausgaben"
inline constexpr int kCycMsgBadValue = 1001;     // "* Pflichtparameter fehlt"
// Fails the run (cycFailRun), then sends "<code>,<argument>" as record 101 "error" on layer 0.
// Returns the dispatch result (0 for a null cycle: nothing happens).
int cycFailWithMessage(CycleRecord* cycle, int code, const char* argument);
