#include "SameFile.h"

#include "FileIO.h"
#include "Init.h"
#include "Mem.h"
#include "Str.h"

namespace {

// How the stored names of one level of both chains compare.
enum class Level { Differ, BothRoot, SameName };

// Compares the stored names of A and B; the root's name is empty.
EFI_STATUS CompareLevel(EFI_FILE_PROTOCOL* A, EFI_FILE_PROTOCOL* B, Level* Result) {
  EFI_FILE_INFO* a = FileQueryInfo(A);
  EFI_FILE_INFO* b = a != nullptr ? FileQueryInfo(B) : nullptr;
  EFI_STATUS status = EFI_DEVICE_ERROR;
  if (b != nullptr) {
    status = EFI_SUCCESS;
    if (Str16CompareNoCase(a->FileName, b->FileName) != 0) {
      *Result = Level::Differ;
    } else {
      *Result = a->FileName[0] == 0 ? Level::BothRoot : Level::SameName;
    }
    ReleasePool(b);
  }
  if (a != nullptr) ReleasePool(a);
  return status;
}

// Replaces *At by its parent directory. The handle given up is closed unless
// it is the caller's own.
EFI_STATUS StepUp(EFI_FILE_PROTOCOL** At, EFI_FILE_PROTOCOL* CallersOwn) {
  EFI_FILE_PROTOCOL* parent = nullptr;
  EFI_STATUS status = (*At)->Open(*At, &parent, u"..", EFI_FILE_MODE_READ, 0);
  if (*At != CallersOwn) FileClose(*At);
  *At = EFI_ERROR(status) ? nullptr : parent;
  return status;
}

// Walks both chains of stored names side by side towards the root. *A and
// *B start at First and Second and end at the handles last reached.
EFI_STATUS WalkUp(EFI_FILE_PROTOCOL** A, EFI_FILE_PROTOCOL** B, EFI_FILE_PROTOCOL* First, EFI_FILE_PROTOCOL* Second,
                  BOOLEAN* Match) {
  for (UINTN depth = 0; depth <= kDeepestFilePath; ++depth) {
    Level level = Level::Differ;
    EFI_STATUS status = CompareLevel(*A, *B, &level);
    if (EFI_ERROR(status)) return status;
    if (level != Level::SameName) {
      *Match = level == Level::BothRoot ? TRUE : FALSE;
      return EFI_SUCCESS;
    }
    status = StepUp(A, First);
    if (!EFI_ERROR(status)) status = StepUp(B, Second);
    if (EFI_ERROR(status)) return status;
  }
  return EFI_UNSUPPORTED;
}

EFI_STATUS StoredPathsMatch(EFI_FILE_PROTOCOL* First, EFI_FILE_PROTOCOL* Second, BOOLEAN* Match) {
  EFI_FILE_PROTOCOL* a = First;
  EFI_FILE_PROTOCOL* b = Second;
  EFI_STATUS status = WalkUp(&a, &b, First, Second, Match);
  if (a != nullptr && a != First) FileClose(a);
  if (b != nullptr && b != Second) FileClose(b);
  return status;
}

}  // namespace

EFI_STATUS OpenFilesAreSame(const CHAR16* FirstName, EFI_FILE_PROTOCOL* First, const CHAR16* SecondName,
                            EFI_FILE_PROTOCOL* Second, BOOLEAN* Same) {
  BOOLEAN match = FALSE;
  EFI_STATUS status = StoredPathsMatch(First, Second, &match);
  if (EFI_ERROR(status)) return status;
  if (!match) {
    *Same = FALSE;
    return EFI_SUCCESS;
  }
  EFI_HANDLE firstVolume = nullptr;
  EFI_HANDLE secondVolume = nullptr;
  status = FileVolumeOf(FirstName, &firstVolume);
  if (!EFI_ERROR(status)) status = FileVolumeOf(SecondName, &secondVolume);
  if (EFI_ERROR(status)) return status;
  *Same = firstVolume == secondVolume ? TRUE : FALSE;
  return EFI_SUCCESS;
}
