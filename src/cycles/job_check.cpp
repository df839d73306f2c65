// job_check.cpp - keys no phase reads, ".CFG" numbers that are no numbers, and values a run cannot
// work with, found while a 3D cycle reads its job and reported through the job report.
#include "cycles/job_check.h"

#include <strings.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "cycles/cyc3d_keys.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/numtext.h"
#include "framework/param_file.h"
#include "framework/param_keys.h"
#include "framework/param_list.h"
#include "framework/platform.h"

namespace {
// Messages of the values a run cannot work with.
constexpr int kJobMsgStepTooSmall = 1008;  // "* Vertikales Zustellmaß ist zu klein angegeben"
constexpr int kJobMsgFolder = 1108;        // "* Fehler beim Schreiben der Zyklenausgaben"

// One thing the reading found: a fault (the run fails) or a warning.
struct JobFinding {
  bool fault;
  int code;
  std::string text;
};
// The findings of the current run; at most kJobFindingsMax kept (more faults still fail).
constexpr std::size_t kJobFindingsMax = 40;
struct JobReport {
  std::vector<JobFinding> found;
  int faults = 0;
};
JobReport jobReport;

void jobReportAdd(bool fault, int code, const char* text) {
  if (fault) ++jobReport.faults;
  if (jobReport.found.size() >= kJobFindingsMax) return;
  try {
    jobReport.found.push_back(JobFinding{fault, code, text != nullptr ? text : ""});
  } catch (...) {
    // no memory for the text: a fault still counts
  }
}

bool jobIsBlank(char c) { return c == ' ' || c == '\t'; }

// Tries to create a file in folder; "" when one can be created (and is removed again), else why
// not.
std::string jobFolderProblem(const char* folder) {
  const std::string dir = folder == nullptr || folder[0] == '\0' || folder[0] == ' ' ? "." : folder;
  const int kind = platPathKind(dir.c_str());
  if (kind == kPlatNoFile) return std::strerror(errno != 0 ? errno : ENOENT);
  if (kind == kPlatRegularFile) return "a file, not a folder";
  // A name no run uses: the process id and a counter.
  for (int i = 0; i < 100; ++i) {
    const std::string probe = dir + (dir.back() == '/' ? "" : "/") + ".qdmill-probe-" +
                              std::to_string(platProcessId()) + "-" + std::to_string(i);
    errno = 0;
    const int made = platCreateNewFile(probe.c_str());
    if (made == 1) {
      platRemoveFile(probe.c_str());
      return "";
    }
    if (made == -1) return std::strerror(errno != 0 ? errno : EACCES);
  }
  return "no new file can be named in it";
}

// Whether text is one whole integer (blanks around it allowed).
bool jobWholeInteger(const std::string& text) {
  const std::size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return false;
  const std::size_t e = text.find_last_not_of(' ') + 1;
  std::size_t at = b;
  if (text[at] == '+') ++at;
  long v = 0;
  const auto r = std::from_chars(text.data() + at, text.data() + e, v);
  return at < e && r.ec == std::errc() && r.ptr == text.data() + e;
}

// Whether text is n whole numbers separated by blanks.
bool jobNumbers(const std::string& text, int n, bool integer) {
  std::size_t at = 0;
  int found = 0;
  while (at < text.size()) {
    const std::size_t b = text.find_first_not_of(' ', at);
    if (b == std::string::npos) break;
    std::size_t e = text.find(' ', b);
    if (e == std::string::npos) e = text.size();
    const std::string word = text.substr(b, e - b);
    if (integer ? !jobWholeInteger(word) : !jobWholeNumber(word.c_str(), nullptr)) return false;
    ++found;
    at = e;
  }
  return found == n;
}

const ParamKeyword* jobKeyword(const char* name) {
  for (const ParamKeyword* k = parKeywordTable(); k->key != nullptr; ++k) {
    if (strcasecmp(k->key, name) == 0) return k;
  }
  return nullptr;
}

bool jobFrameworkKnows(std::span<const ParKnownKey> keys, const char* name, bool ignoreCase) {
  for (const ParKnownKey& k : keys) {
    if (parKeyMatches(k, name, ignoreCase)) return true;
  }
  return false;
}

void jobUnknownKey(const char* name, const ParNearestKey& nearest) {
  std::string text = std::string(name) + ": not a parameter";
  if (!nearest.best().empty()) text += "; did you mean " + nearest.best() + "?";
  jobWarning(text.c_str());
}

// The decimals that hold tolerance: the fewest from decimals on whose unit 10^-d is not coarser
// than it; kJobDecimalsMax + 1 when none up to kJobDecimalsMax does.
int jobDecimalsFor(double tolerance, int decimals) {
  for (int d = decimals; d <= kJobDecimalsMax; ++d) {
    // the unit of the last decimal, with room for the tolerance's own rounding in its text
    if (std::pow(10.0, -d) <= tolerance * (1.0 + 1e-9)) return d;
  }
  return kJobDecimalsMax + 1;
}

std::string jobNumberText(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("?");
}

// A key with its value as its source writes it: "*KEY value" in a ".CFG" source, else
// "key := value".
std::string jobKeyValue(const char* key, const std::string& value) {
  return std::string(key) + (key[0] == '*' ? " " : " := ") + value;
}
}  // namespace

bool jobWholeNumber(const char* text, double* out) {
  if (text == nullptr) return false;
  const char* b = text;
  while (jobIsBlank(*b)) ++b;
  const char* e = b + std::strlen(b);
  while (e > b && jobIsBlank(e[-1])) --e;
  if (b < e && *b == '+') ++b;
  if (b == e || *b == '+') return false;
  double v = 0.0;
  // from_chars reads as the "C" locale does, whatever locale the host set; no hexadecimal form
  const auto r = std::from_chars(b, e, v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v)) return false;
  if (out != nullptr) *out = v;
  return true;
}

void jobFault(int code, const char* text) { jobReportAdd(true, code, text); }
void jobWarning(const char* text) { jobReportAdd(false, kMsgJobWarning, text); }

int jobReportSend(CycleRecord* cycle) {
  const int faults = jobReport.faults;
  JobReport report;
  report.found.swap(jobReport.found);
  jobReport = JobReport{};
  for (const JobFinding& f : report.found) msgSendJobMessage(cycle, f.code, f.text.c_str());
  return faults;
}

void jobReportReset() { jobReport = JobReport{}; }

void jobCheckSourceKeys(const CycleRecord* cycle) {
  if (cycle == nullptr) return;
  try {
    const char* language = parListLastValue(cycle->params, "SystemLanguage");
    for (const ParamNode* n = cycle->params; n != nullptr; n = n->next) {
      if (n->name == nullptr) continue;
      if (n->kind != kParKindSource && n->kind != kParKindDefinition) continue;
      bool known = language != nullptr && std::strcmp(n->name, language) == 0;
      for (const char* key : kCyc3dKeys) known = known || std::strcmp(key, n->name) == 0;
      known = known || jobFrameworkKnows(parFrameworkKeys(), n->name, false);
      if (known) continue;
      ParNearestKey nearest(n->name);
      for (const char* key : kCyc3dKeys) nearest.offer(key);
      for (const ParKnownKey& k : parFrameworkKeys()) nearest.offer(k);
      jobUnknownKey(n->name, nearest);
    }
  } catch (...) {
    // no memory for a warning: the key goes unreported, the run is not changed by it
  }
}

void jobCheckCfgEntries(const CycleRecord* cycle) {
  if (cycle == nullptr) return;
  try {
    for (const ParamNode* n = cycle->cfgEntries; n != nullptr; n = n->next) {
      if (n->name == nullptr) continue;
      const ParamKeyword* k = jobKeyword(n->name);
      if (k == nullptr) {
        if (jobFrameworkKnows(parFrameworkCfgKeys(), n->name, true)) continue;
        ParNearestKey nearest(n->name);
        for (const ParamKeyword* t = parKeywordTable(); t->key != nullptr; ++t)
          nearest.offer(t->key);
        for (const ParKnownKey& f : parFrameworkCfgKeys()) nearest.offer(f);
        jobUnknownKey(n->name, nearest);
        continue;
      }
      const std::string value = n->value != nullptr ? n->value : "";
      bool ok = true;
      const char* what = "not a number";
      if (k->type == kParTypePoint) {
        ok = jobNumbers(value, 3, false);
        what = "not three numbers";
      } else if (k->type == kParTypeShort || k->type == kParTypeLong) {
        ok = jobNumbers(value, 1, true);
        what = "not a whole number";
      } else if (k->type == kParTypeDouble) {
        ok = jobNumbers(value, 1, false);
      }
      if (!ok) jobFault(kMsgJobFault, (std::string(n->name) + " " + value + ": " + what).c_str());
    }
  } catch (...) {
  }
}

void jobCheckValues(const JobValues& v, const JobKeys& keys) {
  try {
    if (!(v.infeedDepth > 0.0)) {
      jobFault(kJobMsgStepTooSmall, (jobKeyValue(keys.infeedDepth, jobNumberText(v.infeedDepth)) +
                                     ": the depth of a step must be greater than 0")
                                        .c_str());
    } else if (std::fabs(v.depth) / v.infeedDepth > kJobLevelsMax) {
      jobFault(kJobMsgStepTooSmall,
               (jobKeyValue(keys.infeedDepth, jobNumberText(v.infeedDepth)) + ": more than " +
                std::to_string(static_cast<long>(kJobLevelsMax)) + " levels over a depth of " +
                jobNumberText(std::fabs(v.depth)))
                   .c_str());
    }
    const std::string problem = jobFolderProblem(v.folder);
    if (!problem.empty()) {
      jobFault(kJobMsgFolder, (jobKeyValue(keys.folder, v.folder != nullptr ? v.folder : "") +
                               ": no temporary file can be written there: " + problem)
                                  .c_str());
    }
    const int decimals = numPrecision();
    const int needed = jobDecimalsFor(v.tolerance, decimals);
    const std::string tol = jobKeyValue(keys.tolerance, jobNumberText(v.tolerance));
    if (needed > kJobDecimalsMax) {
      jobFault(kMsgJobFault, (tol + ": finer than the output's " + std::to_string(kJobDecimalsMax) +
                              " decimals can hold")
                                 .c_str());
    } else if (needed > decimals) {
      numSetPrecision(needed);
      jobWarning((tol + ": finer than the output's " + std::to_string(decimals) +
                  " decimals; the output is written with " + std::to_string(needed))
                     .c_str());
    }
    const char* source = parLoadedSource();
    if (v.model != nullptr && source != nullptr && platSameFile(v.model, source) == 1) {
      jobFault(kMsgJobFault,
               (jobKeyValue(keys.model, v.model) + ": the job source itself, not a surface model")
                   .c_str());
    }
  } catch (...) {
  }
}

int jobCheckCfgRun(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  jobCheckCfgEntries(cycle);
  const GlobalParams& g = *parGlobalBlock();
  jobCheckValues({g.vertzustel, g.oberfl - g.tief, g.tmpDir, g.precision, g.approx},
                 {"*VERTZUSTEL", "*TMP_DIR", "*PRECISION", "*APPROX"});
  return jobReportSend(cycle);
}
