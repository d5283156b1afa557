#include "window/failure_text.h"

#include <iterator>

#include "core/register/register_control.h"
#include "platform/text.h"
#include "window/globals.h"
#include "window/message.h"

namespace {
constexpr size_t ReasonCapacity = 160;

// What regsvr32's exit code means (its own codes, not the system's).
const wchar_t* Regsvr32Meaning(DWORD code) {
  switch (code) {
    case 1: return L"命令参数无效";
    case 2: return L"OLE初始化失败";
    case 3: return L"控件装载失败";
    case 4: return L"控件没有注册函数DllRegisterServer";
    case 5: return L"控件的注册函数DllRegisterServer报告失败";
    default: return L"未知错误";
  }
}

// The text of the box that tells why a control was not registered.
void DescribeFailure(const RegistrationResult& result, wchar_t (&text)[ReasonCapacity]) {
  text[0] = 0;
  switch (result.status) {
    case RegistrationStatus::RefusedPath:
      CopyText(text, L"控件路径过长，未注册！");
      break;
    case RegistrationStatus::DidNotLoad:
      CopyText(text, L"装载ActiveX控件失败！");
      break;
    case RegistrationStatus::NoEntryPoint:
      CopyText(text, L"此文件没有注册函数DllRegisterServer，不是ActiveX控件，未注册！");
      break;
    case RegistrationStatus::ExitCode:
      // Fits: the meanings are short; a cut text would be refused whole and left empty.
      if (!(CopyText(text, L"注册ActiveX控件失败！regsvr32返回") &&
            AppendNumber(text, result.exitCode) && AppendText(text, L"：") &&
            AppendText(text, Regsvr32Meaning(result.exitCode)) && AppendText(text, L"。")))
        text[0] = 0;
      break;
    case RegistrationStatus::TimeLimit:
      CopyText(text, L"注册ActiveX控件超时：regsvr32在120秒内没有完成！");
      break;
    case RegistrationStatus::NotStarted:
      CopyText(text, L"无法启动regsvr32，控件未注册！");
      break;
    case RegistrationStatus::Registered:
    case RegistrationStatus::HelperLibrary:
      break;
  }
}

}  // namespace

void TellFailure(HWND window, const wchar_t* path, const RegistrationResult& result) {
  wchar_t text[ReasonCapacity];
  DescribeFailure(result, text);
  ShowMessage(window, text, L"ERROR", MB_OK, path, result.error);
}

bool SystemErrorText(DWORD error, wchar_t* reason, DWORD cap) {
  reason[0] = 0;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, 0, reason, cap, nullptr);
  while (length > 0 && (reason[length - 1] == L'\r' || reason[length - 1] == L'\n' ||
                        reason[length - 1] == L' '))
    reason[--length] = 0;
  return length > 0;
}

// A root or folder that cannot be had in a box owned by the main window; an interface that
// cannot start or fails in the boxes owned by the status box.
bool TellUnpackFailure(const CabinetResult& result) {
  switch (result.unpack) {
    case UnpackStatus::Unpacked:
      return false;
    case UnpackStatus::RootUnsafe:
      ShowMessage(MainWindow, UnpackRootRefusal, L"ERROR", MB_OK);
      return true;
    case UnpackStatus::RootFailed:
      ShowMessage(MainWindow, UnpackRootFailure, L"ERROR", MB_OK, nullptr, result.error);
      return true;
    case UnpackStatus::NamesTaken:
      ShowMessage(MainWindow, UnpackNamesTaken, L"ERROR", MB_OK);
      return true;
    case UnpackStatus::FolderFailed:
      ShowMessage(MainWindow, UnpackFolderFailure, L"ERROR", MB_OK, nullptr, result.error);
      return true;
    case UnpackStatus::NoInterface:
      ShowMessage(StatusBox, L"", L"", MB_OK);
      ShowMessage(StatusBox, L"error", L"", MB_OK);
      return true;
    case UnpackStatus::Failed:
      ShowMessage(StatusBox, L"error", L"", MB_OK);
      return true;
  }
  return true;
}

