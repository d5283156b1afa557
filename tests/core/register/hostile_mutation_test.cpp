// Damaged cabinets, generated reproducibly from two valid ones: cut at every record and field
// boundary, with hostile counts, offsets and sizes, and with random byte flips from a fixed
// seed. Each is dropped on the window; none may crash or hang the program, raise any box but
// the load failure of a control, or write anything outside the unpack directory.
#include <cstdint>
#include <random>

#include "window/globals.h"
#include "core/register/cabinet.h"
#include "tests/core/register/fci_cabinet.h"
#include "tests/core/register/hostile_case.h"

namespace {
struct Mutation {
  std::string label;
  std::string bytes;
};

void Put(std::string& s, size_t at, size_t width, uint32_t value) {
  for (size_t i = 0; i < width && at + i < s.size(); ++i)
    s[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::vector<uint32_t> HostileValues(size_t width, uint32_t original, size_t cabinetSize) {
  uint32_t max = width == 2 ? 0xFFFF : 0xFFFFFFFF;
  std::vector<uint32_t> values = {0,        1,           original - 1,     original + 1,
                                  max,      max - 1,     max / 2,          max / 2 + 1,
                                  static_cast<uint32_t>(cabinetSize) & max,
                                  static_cast<uint32_t>(cabinetSize - 1) & max};
  for (auto& v : values) v &= max;
  return values;
}

void AddFieldMutations(const std::string& base, const std::string& name, size_t at, size_t width,
                       std::vector<Mutation>& out) {
  if (at + width > base.size()) return;
  uint32_t original = 0;
  for (size_t i = 0; i < width; ++i)
    original |= static_cast<uint32_t>(static_cast<unsigned char>(base[at + i])) << (8 * i);
  for (uint32_t value : HostileValues(width, original, base.size())) {
    if (value == original) continue;
    Mutation m{name + "=" + std::to_string(value), base};
    Put(m.bytes, at, width, value);
    out.push_back(m);
  }
}

// Every mutation of one valid cabinet.
void Mutate(const std::string& tag, const std::string& base, std::mt19937& random,
            std::vector<Mutation>& out) {
  CabinetLayout layout = ReadLayout(base);
  for (size_t cut : layout.boundaries)
    out.push_back({tag + " cut at " + std::to_string(cut), base.substr(0, cut)});

  const struct { const char* name; size_t at, width; } header[] = {
      {"cbCabinet", 8, 4}, {"coffFiles", 16, 4}, {"versionMinor", 24, 1}, {"versionMajor", 25, 1},
      {"cFolders", 26, 2}, {"cFiles", 28, 2},    {"flags", 30, 2},        {"iCabinet", 34, 2}};
  for (const auto& f : header) AddFieldMutations(base, tag + " " + f.name, f.at, f.width, out);
  AddFieldMutations(base, tag + " coffCabStart", 36, 4, out);
  AddFieldMutations(base, tag + " cCFData", 40, 2, out);
  AddFieldMutations(base, tag + " typeCompress", 42, 2, out);
  for (size_t i = 0; i < layout.fileRecords.size(); ++i) {
    size_t at = layout.fileRecords[i];
    std::string file = tag + " file " + std::to_string(i);
    AddFieldMutations(base, file + " cbFile", at, 4, out);
    AddFieldMutations(base, file + " uoffFolderStart", at + 4, 4, out);
    AddFieldMutations(base, file + " iFolder", at + 8, 2, out);
    AddFieldMutations(base, file + " date", at + 10, 2, out);
    AddFieldMutations(base, file + " attribs", at + 14, 2, out);
    // A name without its terminator runs into the next record.
    size_t end = base.find('\0', at + 16);
    if (end != std::string::npos) {
      Mutation m{file + " name unterminated", base};
      m.bytes[end] = 'x';
      out.push_back(m);
    }
  }
  for (size_t i = 0; i < layout.dataBlocks.size(); ++i) {
    size_t at = layout.dataBlocks[i];
    std::string block = tag + " block " + std::to_string(i);
    AddFieldMutations(base, block + " csum", at, 4, out);
    AddFieldMutations(base, block + " cbData", at + 4, 2, out);
    AddFieldMutations(base, block + " cbUncomp", at + 6, 2, out);
  }

  // Random flips: half of them in the records before the data, where a flip changes what the
  // interface believes about the cabinet rather than only a file's content.
  std::uniform_int_distribution<int> count(1, 8), bit(0, 7), coin(0, 1);
  size_t records = std::min(base.size(), layout.coffCabStart ? layout.coffCabStart : base.size());
  for (int n = 0; n < 150; ++n) {
    Mutation m{tag + " flips #" + std::to_string(n), base};
    int flips = count(random);
    for (int k = 0; k < flips; ++k) {
      size_t span = coin(random) ? records : base.size();
      size_t at = std::uniform_int_distribution<size_t>(0, span - 1)(random);
      m.bytes[at] = static_cast<char>(m.bytes[at] ^ (1 << bit(random)));
      m.label += " " + std::to_string(at);
    }
    out.push_back(m);
  }
}

std::string Filler(size_t size, char seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + (i * 7) % 61);
  return s;
}

struct MutatedCabinets : HostileCase {};
}  // namespace

TEST_F(MutatedCabinets, NoneCrashesHangsOrWritesOutsideTheUnpackDirectory) {
  const std::wstring work = HostileWork;
  // No control in either cabinet: a damaged one would run its load-time code in the test
  // process, and a text posing as one costs a message box of two seconds under Wine.
  std::vector<RawEntry> entries = {{"a.dat", "not a library"},
                                   {"b.inf", Filler(40000, 'b')},  // spans two data blocks
                                   {"empty.txt", ""},
                                   {"c.txt", Filler(300, 'c')}};
  std::string raw = BuildRawCabinet(entries);
  ASSERT_TRUE(WriteCabinet(Narrow(work) + "mszip.cab",
                           {{"a.dat", "not a library"}, {"b.inf", Filler(40000, 'b')},
                            {"c.txt", Filler(300, 'c')}}));
  std::string mszip = ReadWholeFile(work + L"mszip.cab");
  ASSERT_GT(mszip.size(), 100u);

  std::mt19937 random(20261207);
  std::vector<Mutation> mutations = {{"zero bytes", ""},
                                     {"signature only", "MSCF"},
                                     {"header of zeros", std::string(36, '\0')},
                                     {"unmodified raw", raw}};
  Mutate("raw", raw, random, mutations);
  Mutate("mszip", mszip, random, mutations);
  // A file that declares far more than it holds.
  Mutation huge{"raw cbFile=4GB-1 and cbCabinet=4GB-1", raw};
  Put(huge.bytes, 8, 4, 0xFFFFFFFF);
  Put(huge.bytes, ReadLayout(raw).fileRecords[0], 4, 0xFFFFFFFF);
  mutations.push_back(huge);
  ASSERT_GE(mutations.size(), 500u);

  const std::wstring cab = work + L"mutated.cab";
  size_t unpackedAny = 0;
  for (const Mutation& m : mutations) {
    ArmWatchdog("mutated cabinet '" + m.label + "'", 20);
    ASSERT_TRUE(WriteWholeFile(cab, m.bytes)) << m.label;
    MessageBoxWatcher boxes;
    DropFiles({cab});
    for (const auto& box : boxes.seen)
      EXPECT_EQ(L"装载ActiveX控件失败！", box.text) << m.label;
    std::wstring report = WindowText(StatusBox);
    EXPECT_TRUE(report.find(L"注册状态:注册失败！") != std::wstring::npos) << m.label;
    // The next mutation starts from an empty directory, also within the same second.
    if (!FilesIn(LastUnpackDir()).empty()) ++unpackedAny;
    EmptyDirectory(LastUnpackDir());
  }
  ArmWatchdog("mutated cabinets: final checks", CaseBound);
  EXPECT_GT(unpackedAny, 0u);
  RecordProperty("mutations", static_cast<int>(mutations.size()));
  printf("%zu mutated cabinets dropped, %zu unpacked something\n", mutations.size(), unpackedAny);
}
