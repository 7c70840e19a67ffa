#include "NameProbe.h"

#include "StatusText.h"

namespace {

constexpr UINTN kLongestText = 300;
constexpr UINTN kInfoBytes = 1024;

struct Output {
  NameProbePrint Print;
  void* Context;
};

void PrintDecimal(const Output& Out, UINT64 Value) {
  CHAR16 text[24];
  UINTN at = 23;
  text[at] = 0;
  do {
    text[--at] = CHAR16(u'0' + Value % 10);
    Value /= 10;
  } while (Value != 0);
  Out.Print(Out.Context, text + at);
}

// Widens Length bytes of Text into Wide (kLongestText units at most).
void Widen(const UINT8* Text, UINTN Length, CHAR16* Wide) {
  UINTN n = 0;
  for (; n < Length && n < kLongestText; ++n) Wide[n] = Text[n];
  Wide[n] = 0;
}

// The open mode a step asks for, and where its name starts.
UINT64 StepMode(const UINT8* Step, UINTN Length, UINTN* NameStart) {
  *NameStart = 0;
  if (Length == 0) return kOpenForReading;
  if (Step[0] == '!') {
    *NameStart = 1;
    return kOpenForWriting;
  }
  if (Step[0] == '+') {
    *NameStart = 1;
    return kOpenOrCreate;
  }
  return kOpenForReading;
}

void PrintInfo(const Output& Out, EFI_FILE_PROTOCOL* File) {
  static UINT64 storage[kInfoBytes / sizeof(UINT64)];
  UINTN size = sizeof(storage);
  EFI_STATUS status = File->GetInfo(File, &gEfiFileInfoGuid, &size, storage);
  CHAR16 hex[kStatusTextSize];
  if (EFI_ERROR(status)) {
    StatusToText(status, hex);
    Out.Print(Out.Context, u" info ");
    Out.Print(Out.Context, hex);
    return;
  }
  const EFI_FILE_INFO* info = reinterpret_cast<const EFI_FILE_INFO*>(storage);
  Out.Print(Out.Context, u" [");
  Out.Print(Out.Context, info->FileName);
  Out.Print(Out.Context, u"]");
  if ((info->Attribute & EFI_FILE_DIRECTORY) != 0) {
    Out.Print(Out.Context, u" d");
    return;
  }
  Out.Print(Out.Context, u" ");
  PrintDecimal(Out, info->FileSize);
  Out.Print(Out.Context, u" f");
}

// Renames the open File to NewName with SetInfo: its own information with
// the new FileName.
EFI_STATUS Rename(EFI_FILE_PROTOCOL* File, const CHAR16* NewName) {
  static UINT64 storage[kInfoBytes / sizeof(UINT64)];
  UINTN size = sizeof(storage) - (kLongestText + 1) * sizeof(CHAR16);
  EFI_STATUS status = File->GetInfo(File, &gEfiFileInfoGuid, &size, storage);
  if (EFI_ERROR(status)) return status;
  auto* info = reinterpret_cast<EFI_FILE_INFO*>(storage);
  UINTN units = 0;
  for (; NewName[units] != 0; ++units) info->FileName[units] = NewName[units];
  info->FileName[units] = 0;
  info->Size = SIZE_OF_EFI_FILE_INFO + (units + 1) * sizeof(CHAR16);
  return File->SetInfo(File, &gEfiFileInfoGuid, info->Size, info);
}

// Opens one step from At into *Next, or renames At when the step is "=NAME"
// (At then stays open as *Next).
EFI_STATUS RunStep(EFI_FILE_PROTOCOL* At, const UINT8* Step, UINTN Length, EFI_FILE_PROTOCOL** Next) {
  CHAR16 wide[kLongestText + 1];
  if (Length != 0 && Step[0] == '=') {
    Widen(Step + 1, Length - 1, wide);
    *Next = At;
    return Rename(At, wide);
  }
  UINTN nameStart = 0;
  UINT64 mode = StepMode(Step, Length, &nameStart);
  Widen(Step + nameStart, Length - nameStart, wide);
  *Next = nullptr;
  return At->Open(At, Next, wide, mode, 0);
}

void RunCase(EFI_FILE_PROTOCOL* Start, const UINT8* Text, UINTN Length, const Output& Out) {
  CHAR16 wide[kLongestText + 1];
  Widen(Text, Length, wide);
  Out.Print(Out.Context, wide);
  Out.Print(Out.Context, u" => ");
  EFI_FILE_PROTOCOL* at = Start;
  EFI_STATUS status = EFI_SUCCESS;
  UINTN step = 0;
  for (UINTN begin = 0; begin <= Length; ++step) {
    UINTN end = begin;
    while (end < Length && Text[end] != '|') ++end;
    EFI_FILE_PROTOCOL* next = nullptr;
    status = RunStep(at, Text + begin, end - begin, &next);
    if (at != Start && (next != at || EFI_ERROR(status))) at->Close(at);
    at = EFI_ERROR(status) ? nullptr : next;
    if (at == nullptr) break;
    begin = end + 1;
  }
  CHAR16 hex[kStatusTextSize];
  StatusToText(status, hex);
  Out.Print(Out.Context, hex);
  if (at == nullptr) {
    Out.Print(Out.Context, u" @");
    PrintDecimal(Out, step);
  } else {
    PrintInfo(Out, at);
    at->Close(at);
  }
  Out.Print(Out.Context, u"\r\n");
}

}  // namespace

void RunNameCases(EFI_FILE_PROTOCOL* Start, const UINT8* Cases, UINTN Size, NameProbePrint Print, void* Context) {
  const Output out = {Print, Context};
  UINTN begin = 0;
  for (UINTN i = 0; i < Size; ++i) {
    if (Cases[i] != '\n') continue;
    UINTN end = i > begin && Cases[i - 1] == '\r' ? i - 1 : i;
    RunCase(Start, Cases + begin, end - begin, out);
    begin = i + 1;
  }
}
