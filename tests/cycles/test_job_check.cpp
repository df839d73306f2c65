// The checks that make a job mean what it says: keys no phase reads, named with the known key they
// were probably meant to be (every key of the full list misspelled in four ways, against a brute
// force of its own); values a run cannot work with, through runs of the common 3D cycle; and the
// same for a ".CFG" source.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "../model/test_stl_writers.h"
#include "cycle_job.h"
#include "cycles/cyc3d_keys.h"
#include "cycles/cyc3d_record.h"
#include "cycles/job_check.h"
#include "cycles/run_reset.h"
#include "cycles/rupp_record.h"
#include "framework/numtext.h"
#include "framework/param_keys.h"

namespace {

using qdtest::writeFile;

// The known keys a ".pcf" source is checked against, numbered ones with the number 1.
std::vector<std::string> knownKeys() {
  std::vector<std::string> keys(std::begin(kCyc3dKeys), std::end(kCyc3dKeys));
  for (const ParKnownKey& k : parFrameworkKeys()) {
    keys.push_back(std::string(k.name) + (k.form == ParKeyForm::kNumbered ? "1" : ""));
  }
  return keys;
}

// Edit distance with neighbour transpositions, as a plain full table: the oracle of the check.
int bruteDistance(const std::string& a, const std::string& b) {
  const auto low = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  std::vector<std::vector<int>> d(a.size() + 1, std::vector<int>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = static_cast<int>(i);
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = static_cast<int>(j);
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (low(a[i - 1]) == low(b[j - 1]) ? 0 : 1)});
      if (i > 1 && j > 1 && low(a[i - 1]) == low(b[j - 2]) && low(a[i - 2]) == low(b[j - 1])) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// Four misspellings of a key: a letter left out, two neighbours swapped, a letter doubled, a
// letter of the other case.
std::vector<std::string> misspellings(const std::string& key) {
  const std::size_t at = key.size() / 2;
  std::string dropped = key;
  dropped.erase(at, 1);
  std::string swapped = key;
  std::swap(swapped[at - 1], swapped[at]);
  std::string doubled = key;
  doubled.insert(at, 1, key[at]);
  std::string cased = key;
  cased[at] = std::isupper(static_cast<unsigned char>(key[at]))
                  ? static_cast<char>(std::tolower(static_cast<unsigned char>(key[at])))
                  : static_cast<char>(std::toupper(static_cast<unsigned char>(key[at])));
  return {dropped, swapped, doubled, cased};
}

}  // namespace

// Every key of the full list, misspelled: the suggestion is a known key nearest to the
// misspelling (by the brute force), the first of those in the list, and it is the key itself
// wherever no other key is as near.
TEST(JobCheckKeys, EveryMisspelledKeyFindsItsNearestKnownKey) {
  const std::vector<std::string> keys = knownKeys();
  int checked = 0;
  for (const std::string& key : keys) {
    if (key.size() < 3) continue;  // "P1": any one-letter change is another word
    for (const std::string& wrong : misspellings(key)) {
      if (std::find(keys.begin(), keys.end(), wrong) != keys.end()) continue;  // a key itself
      ParNearestKey nearest(wrong.c_str());
      for (const char* k : kCyc3dKeys) nearest.offer(k);
      for (const ParKnownKey& k : parFrameworkKeys()) nearest.offer(k);
      int best = 1 << 20;
      for (const std::string& k : keys) best = std::min(best, bruteDistance(wrong, k));
      ASSERT_FALSE(nearest.best().empty()) << wrong << " (from " << key << ")";
      EXPECT_EQ(bruteDistance(wrong, nearest.best()), best) << wrong;
      if (std::count_if(keys.begin(), keys.end(), [&](const std::string& k) {
            return bruteDistance(wrong, k) == best;
          }) == 1) {
        EXPECT_EQ(nearest.best(), key) << wrong;
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 4 * 150);
}

// Names far from every key get no suggestion; a case difference is the nearest of all.
TEST(JobCheckKeys, FarNamesGetNoSuggestion) {
  const struct {
    const char* name;
    const char* best;
  } cases[] = {{"toolDiamter", "toolDiameter"},
               {"alowance", "allowance"},
               {"ALLOWANCE", "allowance"},
               {"coment_3", "comment_3"},
               {"qqqq", ""},
               {"spindle", ""},
               {"clearancePlanes", "clearancePlane"}};
  for (const auto& c : cases) {
    ParNearestKey nearest(c.name);
    for (const char* k : kCyc3dKeys) nearest.offer(k);
    for (const ParKnownKey& k : parFrameworkKeys()) nearest.offer(k);
    EXPECT_EQ(nearest.best(), c.best) << c.name;
  }
}

namespace {
// Runs of the common 3D cycle on a small roof model in the test folder.
class JobCheckRun : public qdtest::CycleJobTest {
 protected:
  void SetUp() override {
    CycleJobTest::SetUp();
    writeFile("part.qdx", qdtest::exchangePolyhedron(qdtest::roofMesh()));
  }
  void TearDown() override {
    numResetState();
    CycleJobTest::TearDown();
  }
  // The run code of a job of the mandatory keys and extra, and its POF text.
  int runJob(const std::string& name, const std::string& extra) {
    writeFile(name + ".pcf", "polySource := part.qdx\ntoolDiameter := 6\n" + extra);
    return run(cyc3dCycleRecord(), name);
  }
};
}  // namespace

// The keys of the source and of the definition file that no phase reads are warned of; the run
// goes on without them.
TEST_F(JobCheckRun, UnknownKeysAreNamedWithTheKeyMeant) {
  writeFile("qdCyc3d.def", "SystemLanguage := english\nenglish := msgs.loc\ntoolDiamter := 6\n");
  EXPECT_EQ(runJob("keys", "alowance := 0.5\ncomment_2 := x\nfooBar := 1\n"), kRunOk);
  const std::string out = pof();
  for (const char* m : {"0: error(1100,alowance: not a parameter; did you mean allowance?)\n",
                        "0: error(1100,toolDiamter: not a parameter; did you mean toolDiameter?)\n",
                        "0: error(1100,fooBar: not a parameter)\n"}) {
    EXPECT_NE(out.find(m), std::string::npos) << m << out;
  }
  EXPECT_EQ(out.find("comment_2: not"), std::string::npos);
  EXPECT_EQ(out.find("english: not"), std::string::npos) << "the language's message file";
}

// Values a run cannot work with fail the reading and name the key, the value and why.
TEST_F(JobCheckRun, ValuesTheRunCannotWorkWith) {
  ASSERT_EQ(::mkdir("locked", 0555), 0);
  writeFile("afile", "x");
  struct Row {
    const char* extra;
    int code;
    const char* message;
  };
  const Row rows[] = {
      {"infeedDepth := 0\n", kRunReadParamsFailed,
       "1008,infeedDepth := 0: the depth of a step must be greater than 0"},
      {"infeedDepth := 0.00001\ndepth := 10\n", kRunReadParamsFailed,
       "1008,infeedDepth := 1e-05: more than 100000 levels over a depth of 10"},
      {"tempDirectory := nowhere\n", kRunReadParamsFailed,
       "1108,tempDirectory := nowhere: no temporary file can be written there: No such file or "
       "directory"},
      {"tempDirectory := afile\n", kRunReadParamsFailed,
       "1108,tempDirectory := afile: no temporary file can be written there: a file, not a "
       "folder"},
      {"machiningTolerance := 0.000000001\n", kRunReadParamsFailed,
       "1001,machiningTolerance := 1e-09: finer than the output's 8 decimals can hold"},
      {"machiningTolerance := 0\n", kRunReadParamsFailed,
       "1001,machiningTolerance := 0: finer than the output's 8 decimals can hold"},
      {"polySource := self.pcf\n", kRunReadParamsFailed,
       "1001,polySource := self.pcf: the job source itself, not a surface model"},
      {"machiningTolerance := 0.0000005\n", kRunOk,
       "1100,machiningTolerance := 5e-07: finer than the output's 6 decimals; the output is "
       "written with 7"},
  };
  int n = 0;
  for (const Row& row : rows) {
    numResetState();
    const std::string name = std::string(row.extra).rfind("polySource", 0) == 0
                                 ? std::string("self")
                                 : "v" + std::to_string(n++);
    EXPECT_EQ(runJob(name, row.extra), row.code) << row.extra;
    const std::string out = pof();
    EXPECT_NE(out.find(std::string("0: error(") + row.message + ")\n"), std::string::npos)
        << row.extra << out;
    if (row.code == kRunOk) {
      EXPECT_EQ(numPrecision(), 7);
    }
    EXPECT_EQ(cyc3dCycleRecord()->status, row.code == kRunOk ? 0 : 1) << row.extra;
  }
  // A folder that cannot be written (not for root, whom permissions do not stop).
  if (::geteuid() != 0) {
    EXPECT_EQ(runJob("locked", "tempDirectory := locked\n"), kRunReadParamsFailed);
    EXPECT_NE(pof().find("1108,tempDirectory := locked: no temporary file can be written there: "
                         "Permission denied"),
              std::string::npos);
  }
}

// A ".CFG" source: keys the keyword table and the framework do not know are warned of, numbers
// that are no numbers fail, and the values are checked as those of a ".pcf" source.
TEST_F(JobCheckRun, CfgEntriesAndValues) {
  struct Row {
    const char* lines;
    int code;
    const char* message;
  };
  const Row rows[] = {
      {"*VERTZUSTEL 2,5\n", kRunReadParamsFailed, "1001,*VERTZUSTEL 2,5: not a number"},
      {"*FRTYP 1.5\n", kRunReadParamsFailed, "1001,*FRTYP 1.5: not a whole number"},
      {"*NCKO_X 1 0\n", kRunReadParamsFailed, "1001,*NCKO_X 1 0: not three numbers"},
      {"*VERTZUSTEL 0\n", kRunReadParamsFailed,
       "1008,*VERTZUSTEL 0: the depth of a step must be greater than 0"},
      {"*TMP_DIR nowhere\n", kRunReadParamsFailed,
       "1108,*TMP_DIR nowhere: no temporary file can be written there: No such file or "
       "directory"},
      {"*APPROX self.CFG\n", kRunReadParamsFailed,
       "1001,*APPROX self.CFG: the job source itself, not a surface model"},
      {"*VERTZUSTELL 2\n", kRunReadParamsFailed,
       "1100,*VERTZUSTELL: not a parameter; did you mean *VERTZUSTEL?"},
      {"*wkzkommentar ok\n*TREF_T1 5\n*LITERAL_3 EOC:M30\n", kRunReadParamsFailed, nullptr},
  };
  int n = 0;
  for (const Row& row : rows) {
    const std::string name = std::string(row.lines).rfind("*APPROX", 0) == 0
                                 ? std::string("self")
                                 : "c" + std::to_string(n++);
    // "*VERTZUSTEL 0.001" over the default depth of 20000 would be too many levels: a real step.
    writeFile(
        name + ".CFG",
        std::string("*APPROX part.qdx\n*FRRADIUS 3\n*OBERFL 10\n*TIEF 0\n") + row.lines +
            (std::string(row.lines).find("VERTZUSTEL ") == std::string::npos ? "*VERTZUSTEL 2\n"
                                                                             : ""));
    const int code = run(ruppCycleRecord(), name + ".CFG");
    const std::string out = pof();
    if (row.message == nullptr) {
      EXPECT_EQ(out.find("not a parameter"), std::string::npos) << out;
      continue;
    }
    if (std::string(row.message).rfind("1100", 0) != 0) {
      EXPECT_EQ(code, row.code) << row.lines;
    }
    EXPECT_NE(out.find(std::string("0: error(") + row.message + ")\n"), std::string::npos)
        << row.lines << out;
  }
}

// qdmill -P lists every key a job can set: the parameters text of the cycle's definition file
// names each key of the full list once, with a unit, a default and a meaning, and no key that no
// phase reads.
TEST(JobCheckKeys, TheParametersTextListsEveryKey) {
  const std::string text =
      qdtest::readFile(std::string(QDMILL_SOURCE_DIR) + "/examples/demo/qdRpx5_parameters.lng");
  std::vector<std::string> listed;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(": ", 0) != 0) continue;
    std::istringstream words(line.substr(2));
    std::string key, unit, def, meaning;
    if (!(words >> key)) continue;
    // entries only: a key is one word of letters, digits, '_' and "<n>"; a heading is not
    if (key == "name" || key == "--" || key == "Parameters" || key == "Names,") continue;
    ASSERT_TRUE(words >> unit >> def) << line;
    std::getline(words, meaning);
    EXPECT_FALSE(meaning.empty()) << line;
    const std::size_t n = key.find("<n>");
    listed.push_back(n == std::string::npos ? key : key.substr(0, n) + "1");
  }
  std::vector<std::string> known = knownKeys();
  std::sort(known.begin(), known.end());
  known.erase(std::unique(known.begin(), known.end()), known.end());
  std::vector<std::string> sorted = listed;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "listed twice";
  std::vector<std::string> missing, unknown;
  std::set_difference(known.begin(), known.end(), sorted.begin(), sorted.end(),
                      std::back_inserter(missing));
  std::set_difference(sorted.begin(), sorted.end(), known.begin(), known.end(),
                      std::back_inserter(unknown));
  EXPECT_EQ(missing, std::vector<std::string>{}) << "keys the text does not list";
  EXPECT_EQ(unknown, std::vector<std::string>{}) << "listed keys that no phase reads";
}
