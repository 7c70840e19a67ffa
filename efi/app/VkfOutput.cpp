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

EFI_STATUS OutOfMemory() {
  PrintMessageByToken(TokenOutOfMemory, AppHiiHandle);
  return EFI_OUT_OF_RESOURCES;
}

// Where the last name of Name starts: behind its last '\' or ':'.
const CHAR16* LeafOf(const CHAR16* Name) {
  const CHAR16* leaf = Name;
  for (const CHAR16* at = Name; *at != 0; ++at) {
    if (*at == u'\\' || *at == u':') leaf = at + 1;
  }
  return leaf;
}

// Name's folder, then its leaf as FAT keeps it (leading blanks, trailing
// blanks and dots dropped), then Suffix, in a new pool string; null without
// pool. So "board.vkf." and "board.vkf" give one name, as they reach one file.
CHAR16* RoleName(const CHAR16* Name, const CHAR16* Leaf, const CHAR16* Suffix) {
  const CHAR16* kept = Leaf;
  while (*kept == u' ') ++kept;
  UINTN units = Str16Length(kept);
  while (units > 0 && (kept[units - 1] == u' ' || kept[units - 1] == u'.')) --units;
  const UINTN folder = UINTN(Leaf - Name);
  auto* name = static_cast<CHAR16*>(AllocateZeroedPool((folder + units + kRoleSuffixUnits + 1) * sizeof(CHAR16)));
  if (name == nullptr) return nullptr;
  MoveMem(name, Name, folder * sizeof(CHAR16));
  MoveMem(name + folder, kept, units * sizeof(CHAR16));
  Str16Copy(name + folder + units, Suffix);
  return name;
}

// Makes the names of the new file and the old one. A leaf that FAT trims to
// nothing, or that ends in a role suffix itself, is refused: such a VKF file
// would be taken for a leftover of another one.
EFI_STATUS MakeRoleNames(VkfOutput* Output) {
  Output->Leaf = LeafOf(Output->Name);
  Output->Temporary = RoleName(Output->Name, Output->Leaf, kNewFileSuffix);
  Output->Aside = RoleName(Output->Name, Output->Leaf, kOldFileSuffix);
  if (Output->Temporary == nullptr || Output->Aside == nullptr) return OutOfMemory();
  const CHAR16* leaf = LeafOf(Output->Temporary);
  if (Str16Length(leaf) == kRoleSuffixUnits || MatchPattern(leaf, u"*.qvx-new.qvx-new") ||
      MatchPattern(leaf, u"*.qvx-old.qvx-new")) {
    return OpenFailed(Output, EFI_INVALID_PARAMETER);
  }
  return EFI_SUCCESS;
}

// Makes the last step durable before the next one starts: the file system
// hands its cache to the device (through File, when one is open), and the
// device writes its own cache to the media. Neither answer stops the run: a
// device without a flush keeps the order it keeps.
VOID Barrier(const VkfOutput* Output, EFI_FILE_PROTOCOL* File) {
  if (File != nullptr) FileFlush(File);
  if (Output->Volume != nullptr) FileFlushDevice(Output->Volume);
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
  return Output->OldName != nullptr ? EFI_SUCCESS : OutOfMemory();
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

// Opens the file under a role name for writing, into *File; none is fine.
// A directory, or the dump under such a name, is no leftover of ours:
// EFI_ACCESS_DENIED, with *File open for the caller to close.
EFI_STATUS OpenLeftover(const CHAR16* Name, const CHAR16* DumpName, EFI_FILE_PROTOCOL* Dump, EFI_FILE_PROTOCOL** File) {
  EFI_STATUS status = FileOpenByName(Name, File, kOpenForWriting, 0);
  if (status == EFI_NOT_FOUND) return EFI_SUCCESS;
  if (EFI_ERROR(status)) return status;
  if (!FileIsPlain(*File)) return EFI_ACCESS_DENIED;
  BOOLEAN same = FALSE;
  if (Dump != nullptr) status = OpenFilesAreSame(DumpName, Dump, Name, *File, &same);
  return EFI_ERROR(status) || same ? EFI_ACCESS_DENIED : EFI_SUCCESS;
}

// Deletes a leftover whose content the VKF name holds, or that never held
// it; the delete is on the media before anything else is done.
EFI_STATUS DeleteLeftover(const VkfOutput* Output, EFI_FILE_PROTOCOL** File) {
  if (*File == nullptr) return EFI_SUCCESS;
  EFI_STATUS status = FileDelete(*File);
  *File = nullptr;
  Barrier(Output, nullptr);
  return status == EFI_SUCCESS ? EFI_SUCCESS : EFI_ACCESS_DENIED;
}

// With the VKF name missing, the old file aside goes back. It was whole on
// the media before the run began, and a rename does not touch its data.
// The new file beside it is not trusted, though the device was flushed
// before the old file moved: a driver may answer a device flush without
// flushing (OVMF's ATA driver does, which FileFlushDevice works around), so
// its data may never have reached the media while the rename did. It never held the VKF name, and
// the next conversion writes it again.
EFI_STATUS PutLeftoverInPlace(const VkfOutput* Output, EFI_FILE_PROTOCOL** File) {
  EFI_STATUS status = FileRename(*File, Output->Leaf);
  if (EFI_ERROR(status)) return status;
  Barrier(Output, *File);
  FileClose(*File);
  *File = nullptr;
  PrintMessageByToken(TokenVkfRestored, AppHiiHandle, Output->Name);
  return EFI_SUCCESS;
}

// Finishes or clears what a run cut by a power failure left under the two
// role names (see the header), then opens the VKF file again if it came
// back.
EFI_STATUS Recover(VkfOutput* Output, const CHAR16* DumpName, EFI_FILE_PROTOCOL* Dump) {
  EFI_FILE_PROTOCOL* fresh = nullptr;
  EFI_FILE_PROTOCOL* aside = nullptr;
  EFI_STATUS status = OpenLeftover(Output->Temporary, DumpName, Dump, &fresh);
  if (!EFI_ERROR(status)) status = OpenLeftover(Output->Aside, DumpName, Dump, &aside);
  const bool restore = !EFI_ERROR(status) && Output->Old == nullptr && aside != nullptr;
  if (restore) status = PutLeftoverInPlace(Output, &aside);
  if (!EFI_ERROR(status)) status = DeleteLeftover(Output, &fresh);
  if (!EFI_ERROR(status)) status = DeleteLeftover(Output, &aside);
  if (fresh != nullptr) FileClose(fresh);
  if (aside != nullptr) FileClose(aside);
  if (EFI_ERROR(status)) return OpenFailed(Output, status);
  return restore ? OpenOld(Output, DumpName, Dump) : EFI_SUCCESS;
}

// Creates the new file. Its name was cleared a moment before, so what the
// create opens is ours: unless it is not empty or is a directory, which
// some other hand put there and which is left alone.
EFI_STATUS CreateTemporary(VkfOutput* Output) {
  EFI_FILE_PROTOCOL* file = nullptr;
  EFI_STATUS status = FileOpenByName(Output->Temporary, &file, kOpenOrCreate, 0);
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

// Renames the old file back to its own name after the new file could not
// take it; false when even that fails.
bool PutOldBack(const VkfOutput* Output) {
  if (EFI_ERROR(FileRename(Output->Old, Output->OldName))) return false;
  Barrier(Output, Output->Old);
  return true;
}

// The new file took the name; the old one goes. A delete the file system
// refuses leaves the old file under its role name, which the user is told,
// but the VKF file is in place.
VOID DeleteOldAside(VkfOutput* Output) {
  EFI_FILE_PROTOCOL* old = Output->Old;
  Output->Old = nullptr;
  if (FileDelete(old) != EFI_SUCCESS) PrintMessageByToken(TokenOldVkfKept, AppHiiHandle, Output->Aside);
  Barrier(Output, Output->File);
}

}  // namespace

EFI_STATUS VkfOutputBegin(VkfOutput* Output, const CHAR16* Name, const CHAR16* DumpName, EFI_FILE_PROTOCOL* Dump) {
  Output->Name = Name;
  EFI_STATUS status = OpenOld(Output, DumpName, Dump);
  if (!EFI_ERROR(status)) status = MakeRoleNames(Output);
  if (EFI_ERROR(status)) return status;
  // Without a volume handle there is no device to flush; opening will fail.
  if (EFI_ERROR(FileVolumeOf(Name, &Output->Volume))) Output->Volume = nullptr;
  status = Recover(Output, DumpName, Dump);
  if (EFI_ERROR(status)) return status;
  return CreateTemporary(Output);
}

EFI_STATUS VkfOutputCommit(VkfOutput* Output) {
  EFI_STATUS status = FileFlush(Output->File);
  if (EFI_ERROR(status)) return WriteFailed(Output, status);
  Barrier(Output, nullptr);
  if (Output->Old != nullptr) {
    status = FileRename(Output->Old, LeafOf(Output->Aside));
    if (EFI_ERROR(status)) return WriteFailed(Output, status);
    Barrier(Output, Output->Old);
  }
  status = FileRename(Output->File, Output->Leaf);
  if (EFI_ERROR(status)) {
    // The old file goes back under its own name; if even that fails, the
    // user is told where it is, and it is not deleted.
    return WriteFailed(Output, status, Output->Old != nullptr && !PutOldBack(Output));
  }
  Barrier(Output, Output->File);
  if (Output->Old != nullptr) DeleteOldAside(Output);
  FileClose(Output->File);
  Output->File = nullptr;
  return EFI_SUCCESS;
}

VOID VkfOutputAbandon(VkfOutput* Output) {
  if (Output->File != nullptr) FileDelete(Output->File);
  if (Output->Old != nullptr) FileClose(Output->Old);
  Output->File = nullptr;
  Output->Old = nullptr;
  ReleaseName(&Output->Temporary);
  ReleaseName(&Output->Aside);
  ReleaseName(&Output->OldName);
}
