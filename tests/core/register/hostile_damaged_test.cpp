// Cabinets that stop part way: a split set whose next part is there or missing, and an entry
// whose data is damaged. The drop ends as for any damaged cabinet; what was unpacked whole
// stays, and no cut file is left under an entry's name.
#include <random>

#include "window/globals.h"
#include "core/register/cabinet.h"
#include "tests/core/register/fci_cabinet.h"
#include "tests/core/register/hostile_case.h"

namespace {
// Bytes that do not compress, so that the parts of a split set hold what their size says.
std::string Noise(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = static_cast<char>(random() & 0xFF);
  return s;
}

struct DamagedCabinets : HostileCase {
  // After a drop that stopped in the entry 'cut': only 'whole', which came before it, is in
  // the unpack directory, whole; both are listed, no control ran, and no box was raised.
  void ExpectStoppedIn(const CabEntry& whole, const std::string& cut,
                       const MessageBoxWatcher& boxes) {
    EXPECT_TRUE(boxes.seen.empty());
    const std::wstring dir = LastUnpackDir();
    EXPECT_EQ(std::vector<std::wstring>{Widen(whole.name)}, FilesIn(dir));
    EXPECT_TRUE(whole.content == ReadWholeFile(dir + Widen(whole.name)));
    EXPECT_EQ(L"解压文件列表:\r\n" + dir + Widen(whole.name) + L"\r\n" + dir + Widen(cut) +
                  L"\r\n注册成功文件列表:\r\n注册状态:注册失败！",
              WindowText(StatusBox));
  }
};

const std::wstring SplitDir = std::wstring(HostileWork) + L"split\\";
const std::wstring AloneDir = std::wstring(HostileWork) + L"alone\\";

// Three entries of 30,000 bytes in parts of at most 40,000 bytes: the first entry lies whole
// in the first part, the second and third run on into the next parts.
std::vector<CabEntry> SplitEntries() {
  return {{"one.bin", Noise(30000, 1)},
          {"two.bin", Noise(30000, 2)},
          {"three.bin", Noise(30000, 3)}};
}
}  // namespace

TEST_F(DamagedCabinets, ASplitSetWithEveryPartBesideItIsUnpackedWhole) {
  CreateDirectories(SplitDir);
  for (int part = 1; part <= 9; ++part)
    DeleteFileW((SplitDir + L"part" + std::to_wstring(part) + L".cab").c_str());
  std::vector<CabEntry> entries = SplitEntries();
  ASSERT_TRUE(WriteSplitCabinet(Narrow(SplitDir), "part", entries, 40000));
  ASSERT_TRUE(FileExists(SplitDir + L"part3.cab"));  // the set really is split
  MessageBoxWatcher boxes;
  DropFiles({SplitDir + L"part1.cab"});
  EXPECT_TRUE(boxes.seen.empty());
  EXPECT_EQ((std::vector<std::wstring>{L"one.bin", L"three.bin", L"two.bin"}), FilesIn(LastUnpackDir()));
  for (const CabEntry& e : entries)
    EXPECT_TRUE(e.content == ReadWholeFile(LastUnpackDir() + Widen(e.name))) << e.name;
}

TEST_F(DamagedCabinets, TheFirstPartAloneEndsTheDropAndLeavesNoCutFile) {
  CreateDirectories(SplitDir);
  CreateDirectories(AloneDir);
  std::vector<CabEntry> entries = SplitEntries();
  ASSERT_TRUE(WriteSplitCabinet(Narrow(SplitDir), "part", entries, 40000));
  ASSERT_TRUE(FileExists(SplitDir + L"part2.cab"));
  ASSERT_TRUE(
      CopyFileW((SplitDir + L"part1.cab").c_str(), (AloneDir + L"part1.cab").c_str(), FALSE));
  DeleteFileW((AloneDir + L"part2.cab").c_str());
  // A program that asks for the missing part again and again never returns from the drop.
  ArmWatchdog("the first part of a split set alone", 30);
  MessageBoxWatcher boxes;
  DropFiles({AloneDir + L"part1.cab"});
  ArmWatchdog("after the first part alone", CaseBound);
  // The entry that runs on into the missing part was being written when the copy stopped.
  ExpectStoppedIn(entries[0], "two.bin", boxes);
}

TEST_F(DamagedCabinets, AnEntryWhoseDataIsDamagedIsNotLeftBehind) {
  // MSZIP data blocks of 32 KB each: the first entry lies in blocks 0 and 1, the second in
  // blocks 1 and 2. A byte of block 2 is changed, so its checksum no longer holds.
  std::vector<CabEntry> entries = {{"first.txt", Noise(40000, 4)},
                                   {"second.ocx", Noise(40000, 5)}};
  const std::wstring path = std::wstring(HostileWork) + L"damaged.cab";
  ASSERT_TRUE(WriteCabinet(Narrow(path), entries));
  std::string cabinet = ReadWholeFile(path);
  CabinetLayout layout = ReadLayout(cabinet);
  ASSERT_EQ(3u, layout.dataBlocks.size());
  size_t at = layout.dataBlocks[2] + 8 + 100;
  ASSERT_LT(at, cabinet.size());
  cabinet[at] = static_cast<char>(cabinet[at] ^ 0x10);
  ASSERT_TRUE(WriteWholeFile(path, cabinet));

  MessageBoxWatcher boxes;
  DropFiles({path});
  ExpectStoppedIn(entries[0], "second.ocx", boxes);
}
