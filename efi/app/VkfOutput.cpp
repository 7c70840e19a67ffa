#include "VkfOutput.h"

#include "FileIO.h"
#include "Mem.h"
#include "Messages.h"
#include "SameFile.h"
#include "Str.h"

namespace {

EFI_STATUS OpenFailed(const VkfOutput* Output, EFI_STATUS Status) {
  PrintMessageByToken(TokenOpenFailed, AppHiiHandle, Output->Name);
  return Status;
}

// Where the last name of Name starts: behind its last '\' or ':'.
const CHAR16* LeafOf(const CHAR16* Name) {
  const CHAR16* leaf = Name;
  for (const CHAR16* at = Name; *at != 0; ++at) {
    if (*at == u'\\' || *at == u':') leaf = at + 1;
  }
  return leaf;
}

// A pool copy of the first Units units of Name with room for a temporary
// leaf behind them; null without pool.
CHAR16* FolderOf(const CHAR16* Name, UINTN Units) {
  auto* folder = static_cast<CHAR16*>(AllocateZeroedPool((Units + kTemporaryLeafUnits + 1) * sizeof(CHAR16)));
  if (folder != nullptr) MoveMem(folder, Name, Units * sizeof(CHAR16));
  return folder;
}

// Folder followed by temporary leaf number Number: "QVX00042.TMP".
VOID PutTemporaryName(const CHAR16* Folder, UINTN Number, CHAR16* Name) {
  Str16Copy(Name, Folder);
  CHAR16* leaf = Name + Str16Length(Folder);
  Str16Copy(leaf, u"QVX00000.TMP");
  for (UINTN digit = 7; digit >= 3 && Number != 0; --digit, Number /= 10) leaf[digit] = CHAR16(u'0' + Number % 10);
}

// The first temporary name in the folder that reaches no file, in *Name
// (room for the folder and a temporary leaf). EFI_ACCESS_DENIED when every
// name is taken; an open's failure other than EFI_NOT_FOUND as it is.
EFI_STATUS FindFreeName(const CHAR16* Folder, CHAR16* Name) {
  for (UINTN number = 0; number < kTemporaryNameTries; ++number) {
    PutTemporaryName(Folder, number, Name);
    EFI_FILE_PROTOCOL* taken = nullptr;
    EFI_STATUS status = FileOpenByName(Name, &taken, kOpenForReading, 0);
    if (status == EFI_NOT_FOUND) return EFI_SUCCESS;
    if (EFI_ERROR(status)) return status;
    FileClose(taken);
  }
  return EFI_ACCESS_DENIED;
}

// Keeps the name the file system stores for the old file, which it gets
// back should the new file not take its place. A directory is refused.
EFI_STATUS KeepOldName(VkfOutput* Output) {
  EFI_FILE_INFO* info = FileQueryInfo(Output->Old);
  if (info == nullptr || (info->Attribute & EFI_FILE_DIRECTORY) != 0) {
    if (info != nullptr) ReleasePool(info);
    return OpenFailed(Output, EFI_ABORTED);
  }
  Output->OldName = Str16Clone(info->FileName);
  ReleasePool(info);
  if (Output->OldName != nullptr) return EFI_SUCCESS;
  PrintMessageByToken(TokenOutOfMemory, AppHiiHandle);
  return EFI_OUT_OF_RESOURCES;
}

// Opens an existing VKF file for writing, and refuses a directory and the
// dump itself. No file under the name is fine.
EFI_STATUS OpenOld(VkfOutput* Output, const CHAR16* DumpName, EFI_FILE_PROTOCOL* Dump) {
  EFI_FILE_PROTOCOL* old = nullptr;
  EFI_STATUS status = FileOpenByName(Output->Name, &old, kOpenForWriting, 0);
  if (status == EFI_NOT_FOUND) return EFI_SUCCESS;
  if (EFI_ERROR(status)) return OpenFailed(Output, status);
  Output->Old = old;
  status = KeepOldName(Output);
  if (EFI_ERROR(status) || Dump == nullptr) return status;
  // A comparison that cannot be made refuses as the dump would be refused.
  BOOLEAN same = TRUE;
  status = OpenFilesAreSame(DumpName, Dump, Output->Name, old, &same);
  if (EFI_ERROR(status) || same) return OpenFailed(Output, EFI_ACCESS_DENIED);
  return EFI_SUCCESS;
}

// Creates the new file under a free temporary name. The name reached no
// file a moment before, so what the create opens is ours: unless it is not
// empty or is a directory, which some other hand put there and which is
// left alone.
EFI_STATUS CreateTemporary(VkfOutput* Output) {
  EFI_STATUS status = FindFreeName(Output->Folder, Output->Temporary);
  if (EFI_ERROR(status)) return OpenFailed(Output, status);
  EFI_FILE_PROTOCOL* file = nullptr;
  status = FileOpenByName(Output->Temporary, &file, kOpenOrCreate, 0);
  if (EFI_ERROR(status)) return OpenFailed(Output, status);
  EFI_FILE_INFO* info = FileQueryInfo(file);
  if (info == nullptr) {
    Output->File = file;
    return OpenFailed(Output, EFI_LOAD_ERROR);
  }
  const bool fresh = (info->Attribute & EFI_FILE_DIRECTORY) == 0 && info->FileSize == 0;
  ReleasePool(info);
  if (!fresh) {
    FileClose(file);
    return OpenFailed(Output, EFI_ACCESS_DENIED);
  }
  Output->File = file;
  return EFI_SUCCESS;
}

VOID ReleaseName(CHAR16** Name) {
  if (*Name != nullptr) ReleasePool(*Name);
  *Name = nullptr;
}

// Prints the write message, and where the old file is when KeptAside.
EFI_STATUS WriteFailed(VkfOutput* Output, EFI_STATUS Status, bool KeptAside = false) {
  PrintMessageByToken(TokenWriteFailed, AppHiiHandle, Output->Name);
  if (KeptAside) PrintMessageByToken(TokenOldVkfKept, AppHiiHandle, Output->Aside);
  VkfOutputAbandon(Output);
  return Status;
}

// Renames the old file aside, to a free temporary name of its own.
EFI_STATUS MoveOldAside(VkfOutput* Output) {
  Output->Aside = FolderOf(Output->Folder, Str16Length(Output->Folder));
  if (Output->Aside == nullptr) return EFI_OUT_OF_RESOURCES;
  EFI_STATUS status = FindFreeName(Output->Folder, Output->Aside);
  if (EFI_ERROR(status)) return status;
  return FileRename(Output->Old, LeafOf(Output->Aside));
}

// The new file took the name; the old one goes. A delete the file system
// refuses leaves the old file under its temporary name, which the user is
// told, but the VKF file is in place.
VOID DeleteOldAside(VkfOutput* Output) {
  EFI_FILE_PROTOCOL* old = Output->Old;
  Output->Old = nullptr;
  if (FileDelete(old) != EFI_SUCCESS) PrintMessageByToken(TokenOldVkfKept, AppHiiHandle, Output->Aside);
}

}  // namespace

EFI_STATUS VkfOutputBegin(VkfOutput* Output, const CHAR16* Name, const CHAR16* DumpName, EFI_FILE_PROTOCOL* Dump) {
  Output->Name = Name;
  EFI_STATUS status = OpenOld(Output, DumpName, Dump);
  if (EFI_ERROR(status)) return status;
  Output->Leaf = LeafOf(Name);
  if (*Output->Leaf == 0) return OpenFailed(Output, EFI_INVALID_PARAMETER);
  Output->Folder = FolderOf(Name, UINTN(Output->Leaf - Name));
  Output->Temporary = FolderOf(Name, UINTN(Output->Leaf - Name));
  if (Output->Folder == nullptr || Output->Temporary == nullptr) {
    PrintMessageByToken(TokenOutOfMemory, AppHiiHandle);
    return EFI_OUT_OF_RESOURCES;
  }
  return CreateTemporary(Output);
}

EFI_STATUS VkfOutputCommit(VkfOutput* Output) {
  EFI_STATUS status = FileFlush(Output->File);
  if (EFI_ERROR(status)) return WriteFailed(Output, status);
  if (Output->Old != nullptr) {
    status = MoveOldAside(Output);
    if (EFI_ERROR(status)) return WriteFailed(Output, status);
  }
  status = FileRename(Output->File, Output->Leaf);
  if (EFI_ERROR(status)) {
    // The old file goes back under its own name; if even that fails, the
    // user is told where it is, and it is not deleted.
    const bool keptAside = Output->Old != nullptr && EFI_ERROR(FileRename(Output->Old, Output->OldName));
    return WriteFailed(Output, status, keptAside);
  }
  FileClose(Output->File);
  Output->File = nullptr;
  if (Output->Old != nullptr) DeleteOldAside(Output);
  return EFI_SUCCESS;
}

VOID VkfOutputAbandon(VkfOutput* Output) {
  if (Output->File != nullptr) FileDelete(Output->File);
  if (Output->Old != nullptr) FileClose(Output->Old);
  Output->File = nullptr;
  Output->Old = nullptr;
  ReleaseName(&Output->Folder);
  ReleaseName(&Output->Temporary);
  ReleaseName(&Output->Aside);
  ReleaseName(&Output->OldName);
}
