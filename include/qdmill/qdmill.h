/* qdmill.h - the C interface of libqdmill.so: the four exported functions, the host's callback
 * record and the 784-byte output record. Hosts and stored files rely on these layouts, so every
 * offset is pinned below. The cycle record itself stays opaque to hosts. */
#ifndef QDMILL_QDMILL_H
#define QDMILL_QDMILL_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define QDMILL_API __attribute__((visibility("default")))
#else
#define QDMILL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A cycle: a static record inside the library. Hosts only pass pointers around. */
typedef struct CycleRecord CycleRecord;

/* Forms of the record body. Which form a record uses follows from its type code. */

/* text form (messages, parameter echoes, NC control values, variables): name and text */
typedef struct OutputTextForm {
  char name[256]; /* offset 8 */
  char text[520]; /* offset 264 */
} OutputTextForm;

/* part or context (layer 12); the three texts hold at most 254 characters */
typedef struct OutputPartForm {
  int32_t number;  /* offset 8 */
  int32_t kind;    /* offset 12: 1 part, 4 context; the move kind for type 5005 */
  char name[256];  /* offset 16 */
  char data[256];  /* offset 272 */
  char usage[256]; /* offset 528 */
} OutputPartForm;

/* explicit move (layers 30, 31, 41): only the coordinates of the type are set */
typedef struct OutputMoveForm {
  int32_t sSet;        /* offset 8: 1 when s is given (layer 30) */
  int32_t reserved0;   /* offset 12 */
  double reserved1[3]; /* offset 16 */
  double x, y, z;      /* offsets 40, 48, 56 */
  double u, v;         /* offsets 64, 72 (types 3108, 3117) */
  double s;            /* offset 80 (layer 30) */
} OutputMoveForm;

/* modal move (layers 31, 32): a flag per coordinate says whether it was written */
typedef struct OutputModalForm {
  int32_t setX, setY, setZ; /* offsets 8, 12, 16 */
  int32_t reserved0;        /* offset 20 */
  double x, y, z;           /* offsets 24, 32, 40 */
  int32_t setU, setV, setW; /* offsets 48, 52, 56 */
  int32_t reserved1;        /* offset 60 */
  double u, v, w;           /* offsets 64, 72, 80 */
} OutputModalForm;

/* arc (layer 31) */
typedef struct OutputArcForm {
  int32_t direction;   /* offset 8: 1 clockwise */
  int32_t reserved0;   /* offset 12 */
  double reserved1[3]; /* offset 16 */
  double x, y, z;      /* offsets 40, 48, 56: end point */
  double cx, cy, cz;   /* offsets 64, 72, 80: centre */
} OutputArcForm;

/* NC line (layer 32): position and arc centre (i, j, k) or 5-axis pair (u, v in i, j) */
typedef struct OutputNcForm {
  double x, y, z; /* offsets 8, 16, 24 */
  double i, j, k; /* offsets 32, 40, 48 */
} OutputNcForm;

/* collision mark (layer 42): the point three times */
typedef struct OutputMarkForm {
  int32_t zero;      /* offset 8: always 0 */
  int32_t reserved0; /* offset 12 */
  double p[3][3];    /* offsets 16, 40, 64 */
} OutputMarkForm;

/* The one carrier of every output: 784 bytes, filled by its producer, valid during dispatch. */
typedef struct OutputRecord {
  int32_t type;     /* offset 0 */
  int32_t reserved; /* offset 4 */
  union {
    OutputTextForm text;
    char single[776]; /* single text: comment lines, literal text, literal NC lines */
    OutputPartForm part;
    OutputMoveForm move;
    OutputModalForm modal;
    OutputArcForm arc;
    OutputNcForm nc;
    OutputMarkForm mark;
  };
} OutputRecord;

/* Record type of the texts of an information run (options -V, -?, -P, -A, -Y, or no option at
 * all): layer 0, text form, one line per record; the name says which text it belongs to
 * ("version", "help", "parameters", "algorithm", "layers"). A host shows them to its user. */
#define QDMILL_INFO_TEXT 113

/* A host function receives (cycle, layer, record, user word). Its result is ignored by the run. */
typedef int (*HostRecordFn)(CycleRecord* cycle, int layer, OutputRecord* record, void* user);

typedef struct HostCallbackPair {
  HostRecordFn fn; /* may be null */
  void* user;
} HostCallbackPair;

/* Three pairs. Layer 0 goes to pair 0 and then pair 1; layers 1 and 2 to pair 1; layers 3 and 40
 * to pair 2; layers 10, 11, 12, 31, 35, 41 and 42 to pair 0; no other layer reaches the host. */
typedef struct HostCallbacks {
  HostCallbackPair pair[3];
} HostCallbacks;

/* The library's own cycle record (5-axis Z-level roughing, "qdRpx5"). */
QDMILL_API CycleRecord* qdCSgetCycle(void);

/* Runs a cycle (null: the library's own) with an argument vector (options and file names, as on
 * a command line, without a program name) and the host's callbacks (may be null).
 * Returns 1 when the options were parsed and the phases ran, whatever their outcome (read the
 * status word with qdCSgetSignal); 0 when no record is available, 8 runs are already active,
 * the same record is already running, or the record's own load phase refuses its sources. The
 * library's loaders never refuse: a parameter source that is missing, unreadable, no regular file,
 * empty, not text, or holds a line that is no entry makes the run fail before its parameters are
 * read, with a message naming the file (and the line), and the status word 1. */
QDMILL_API int qdCSexecCycle(CycleRecord* cycle, int argc, char** argv, HostCallbacks* host);

/* Sets the signal word that the computation polls (100 stop now; 104 stop after the levels of the
 * current region computed so far are emitted). Returns the previous signal word; 1 when no record
 * is available. May be called from a host callback during a run. */
QDMILL_API int qdCSsetSignal(CycleRecord* cycle, int value);

/* The status word: 0 success, 1 failure, 100 user break; 1 when no record is available. */
QDMILL_API int qdCSgetSignal(CycleRecord* cycle);

#ifdef __cplusplus
} /* extern "C" */
#define QDMILL_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define QDMILL_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

QDMILL_STATIC_ASSERT(sizeof(OutputRecord) == 784, "OutputRecord is 784 bytes");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, type) == 0, "type at 0");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, text.name) == 8, "name at 8");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, text.text) == 264, "text at 264");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, single) == 8, "single text at 8");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, part.number) == 8, "part number at 8");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, part.kind) == 12, "part kind at 12");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, part.name) == 16, "part name at 16");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, part.data) == 272, "part data at 272");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, part.usage) == 528, "part usage at 528");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, move.sSet) == 8, "move s flag at 8");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, move.x) == 40, "move x at 40");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, move.z) == 56, "move z at 56");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, move.u) == 64, "move u at 64");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, move.s) == 80, "move s at 80");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, modal.setX) == 8, "modal x flag at 8");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, modal.setZ) == 16, "modal z flag at 16");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, modal.x) == 24, "modal x at 24");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, modal.z) == 40, "modal z at 40");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, modal.setU) == 48, "modal u flag at 48");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, modal.setW) == 56, "modal w flag at 56");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, modal.u) == 64, "modal u at 64");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, modal.w) == 80, "modal w at 80");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, arc.direction) == 8, "arc direction at 8");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, arc.x) == 40, "arc end at 40");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, arc.cx) == 64, "arc centre at 64");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, arc.cz) == 80, "arc centre z at 80");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, nc.x) == 8, "NC x at 8");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, nc.z) == 24, "NC z at 24");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, nc.i) == 32, "NC i at 32");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, nc.k) == 48, "NC k at 48");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, mark.zero) == 8, "mark zero at 8");
QDMILL_STATIC_ASSERT(offsetof(OutputRecord, mark.p) == 16, "mark points at 16");
QDMILL_STATIC_ASSERT(offsetof(HostCallbacks, pair) == 0, "pairs first");
QDMILL_STATIC_ASSERT(sizeof(HostCallbacks) == 6 * sizeof(void*), "three function and user words");
QDMILL_STATIC_ASSERT(offsetof(HostCallbacks, pair[1].fn) == 2 * sizeof(void*), "pair 1 fn");
QDMILL_STATIC_ASSERT(offsetof(HostCallbacks, pair[2].user) == 5 * sizeof(void*), "pair 2 user");

#undef QDMILL_STATIC_ASSERT

#endif /* QDMILL_QDMILL_H */
