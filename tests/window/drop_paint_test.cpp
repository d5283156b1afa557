// What the user sees while a cabinet of thousands of files unpacks. The window handles no
// messages until the drop has ended, so only what the program paints itself reaches the
// screen; a second thread copies the status box's area from the window as it is shown.
#include <algorithm>
#include <atomic>
#include <vector>

#include "window/globals.h"
#include "window/drop.h"
#include "tests/window/app_window.h"
#include "tests/core/register/drop_support.h"
#include "tests/core/register/fci_cabinet.h"

namespace {
struct BoxSample {
  bool bodyInTheMiddle;  // the window's body colour where the box stands
  int textPixels;        // pixels of text in the lower half of the box
  int pathPixels;        // pixels of text in the path box
};

struct BoxSampler {
  RECT box;   // in the main window's client coordinates
  RECT path;  // the path box, likewise
  std::atomic<bool> stop{false};
  std::vector<BoxSample> samples;
};

// Dark or blue: neither the box's white nor the light grey of its scroll bar.
bool IsText(const RGBQUAD& p) { return p.rgbRed < 128 && p.rgbGreen < 128; }

DWORD WINAPI SampleTheBox(void* parameter) {
  auto* sampler = static_cast<BoxSampler*>(parameter);
  const RECT box = sampler->box, path = sampler->path;
  const int width = box.right - box.left, height = box.bottom - box.top;
  const int pathWidth = std::min<int>(path.right - path.left, width);
  const int pathHeight = std::min<int>(path.bottom - path.top, height);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, bitmap);
  while (!sampler->stop) {
    HDC window = GetDC(MainWindow);
    BitBlt(memory, 0, 0, width, height, window, box.left, box.top, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const RGBQUAD*>(bits);
    const RGBQUAD& middle = pixels[(height / 2) * width + width / 2];
    BoxSample sample = {RGB(middle.rgbRed, middle.rgbGreen, middle.rgbBlue) == BodyColour, 0, 0};
    for (int y = height / 2; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (IsText(pixels[y * width + x])) ++sample.textPixels;
    // The path box is no larger than the status box: its place fits the same bitmap.
    BitBlt(memory, 0, 0, pathWidth, pathHeight, window, path.left, path.top, SRCCOPY);
    ReleaseDC(MainWindow, window);
    GdiFlush();
    for (int y = 0; y < pathHeight; ++y)
      for (int x = 0; x < pathWidth; ++x)
        if (IsText(pixels[y * width + x])) ++sample.pathPixels;
    sampler->samples.push_back(sample);
    Sleep(25);
  }
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
  return 0;
}
}  // namespace

TEST_F(AppWindowTest, ThePathAndTheGrowingReportAreShownThroughoutALongCabinetDrop) {
  CreateDirectoryW(L"C:\\apptest", nullptr);
  std::vector<CabEntry> entries;
  for (int i = 0; i < 3000; ++i) entries.push_back({"entry" + std::to_string(i) + ".txt", "x"});
  ASSERT_TRUE(WriteCabinet("C:\\apptest\\many.cab", entries));
  UpdateWindow(MainWindow);

  BoxSampler sampler;
  sampler.box = PlaceOf(StatusBox);
  sampler.path = PlaceOf(PathBox);
  HANDLE thread = CreateThread(nullptr, 0, SampleTheBox, &sampler, 0, nullptr);
  ASSERT_TRUE(thread);
  HDROP drop = MakeDrop({L"C:\\apptest\\many.cab"});
  HandleDroppedFile(MainWindow, drop);
  WaitForDropToEnd();
  GlobalFree(drop);
  sampler.stop = true;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);

  ASSERT_GE(sampler.samples.size(), 5u) << "the drop was too short to be watched";
  size_t bodySeen = 0, withEntries = 0, withPath = 0;
  for (const BoxSample& sample : sampler.samples) {
    if (sample.bodyInTheMiddle) ++bodySeen;
    if (sample.textPixels > 100) ++withEntries;
    if (sample.pathPixels > 20) ++withPath;
  }
  EXPECT_EQ(0u, bodySeen) << "of " << sampler.samples.size() << " samples";
  // The first text fills the box's upper half only; lines in its lower half are entries.
  EXPECT_GT(withEntries, 0u) << "of " << sampler.samples.size() << " samples";
  // The dropped path is shown while its cabinet unpacks, not only once the drop has ended.
  EXPECT_GT(withPath, sampler.samples.size() / 2) << "of " << sampler.samples.size() << " samples";
  EXPECT_TRUE(IsWindowVisible(StatusBox));
}
