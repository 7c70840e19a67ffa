#include "SameFile.h"

#include "DPath.h"
#include "Init.h"
#include "Mem.h"

namespace {

using Node = EFI_DEVICE_PATH_PROTOCOL;

bool IsSeparator(CHAR16 Unit) { return Unit == u'\\' || Unit == u'/'; }

CHAR16 FoldUp(CHAR16 Unit) { return Unit >= u'a' && Unit <= u'z' ? CHAR16(Unit - 0x20) : Unit; }

bool SameBytes(const VOID* First, const VOID* Second, UINTN Size) {
  const UINT8* a = static_cast<const UINT8*>(First);
  const UINT8* b = static_cast<const UINT8*>(Second);
  for (UINTN i = 0; i < Size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool EndsDevicePart(const Node* Path) { return IsDevicePathEnd(Path) || IsFilePathNode(Path); }

// Steps both paths over their device parts while the nodes are equal. On
// return both point at the first node that differs or ends a device part.
void SkipEqualDeviceNodes(const Node** First, const Node** Second) {
  while (!EndsDevicePart(*First) && !EndsDevicePart(*Second)) {
    UINTN length = DevicePathNodeLength(*First);
    if (length < sizeof(Node) || length != DevicePathNodeLength(*Second) || !SameBytes(*First, *Second, length)) {
      return;
    }
    *First = NextDevicePathNode(*First);
    *Second = NextDevicePathNode(*Second);
  }
}

// The unit at Index of a file-path node's name, read byte-wise because
// nodes carry no alignment.
CHAR16 NameUnit(const Node* FileNode, UINTN Index) {
  const UINT8* name = reinterpret_cast<const UINT8*>(FileNode) + sizeof(Node);
  return CHAR16(name[2 * Index] | (name[2 * Index + 1] << 8));
}

UINTN NameCapacity(const Node* FileNode) { return (DevicePathNodeLength(FileNode) - sizeof(Node)) / 2; }

// Units that JoinFileNodes stores for the path's file part (terminator
// included), or 0 when the part holds a node that is not a file-path node.
UINTN JoinedUnits(const Node* FilePart) {
  UINTN units = 1;
  for (const Node* node = FilePart; !IsDevicePathEnd(node); node = NextDevicePathNode(node)) {
    if (!IsFilePathNode(node)) return 0;
    units += 1 + NameCapacity(node);
  }
  return units;
}

// Stores "\" and the name of every file-path node, then a terminator.
VOID JoinFileNodes(const Node* FilePart, CHAR16* Out) {
  for (const Node* node = FilePart; !IsDevicePathEnd(node); node = NextDevicePathNode(node)) {
    *Out++ = u'\\';
    for (UINTN i = 0; i < NameCapacity(node) && NameUnit(node, i) != 0; ++i) *Out++ = NameUnit(node, i);
  }
  *Out = 0;
}

bool IsDotComponent(const CHAR16* Start, UINTN Length, UINTN Dots) {
  if (Length != Dots) return false;
  for (UINTN i = 0; i < Length; ++i) {
    if (Start[i] != u'.') return false;
  }
  return true;
}

// Rewrites Path, which starts with a separator, in place as "\a\b..." with
// one '\' between components, no empty or "." component, and ".." taking
// away the component before it. The output never overtakes the input, since
// every component it writes was preceded by at least one separator.
VOID NormalizePath(CHAR16* Path) {
  UINTN out = 0;
  UINTN at = 0;
  while (Path[at] != 0) {
    while (IsSeparator(Path[at])) ++at;
    UINTN start = at;
    while (Path[at] != 0 && !IsSeparator(Path[at])) ++at;
    UINTN length = at - start;
    if (length == 0 || IsDotComponent(Path + start, length, 1)) continue;
    if (IsDotComponent(Path + start, length, 2)) {
      while (out > 0 && Path[out - 1] != u'\\') --out;
      if (out > 0) --out;
      continue;
    }
    Path[out++] = u'\\';
    for (UINTN i = 0; i < length; ++i) Path[out++] = Path[start + i];
  }
  Path[out] = 0;
}

bool SameTextIgnoringCase(const CHAR16* First, const CHAR16* Second) {
  for (; *First != 0 || *Second != 0; ++First, ++Second) {
    if (FoldUp(*First) != FoldUp(*Second)) return false;
  }
  return true;
}

// A pool buffer holding the normalized file part of Path, or null.
CHAR16* NormalizedFilePart(const Node* FilePart, UINTN Units) {
  CHAR16* text = static_cast<CHAR16*>(AllocatePool(Units * sizeof(CHAR16)));
  if (text == nullptr) return nullptr;
  JoinFileNodes(FilePart, text);
  NormalizePath(text);
  return text;
}

EFI_STATUS CompareFileParts(const Node* First, const Node* Second, BOOLEAN* Same) {
  UINTN firstUnits = JoinedUnits(First);
  UINTN secondUnits = JoinedUnits(Second);
  if (firstUnits == 0 || secondUnits == 0) {
    UINTN size = DevicePathSize(First);
    *Same = size == DevicePathSize(Second) && SameBytes(First, Second, size);
    return EFI_SUCCESS;
  }
  CHAR16* firstText = NormalizedFilePart(First, firstUnits);
  CHAR16* secondText = firstText != nullptr ? NormalizedFilePart(Second, secondUnits) : nullptr;
  EFI_STATUS status = EFI_OUT_OF_RESOURCES;
  if (secondText != nullptr) {
    *Same = SameTextIgnoringCase(firstText, secondText);
    status = EFI_SUCCESS;
    ReleasePool(secondText);
  }
  if (firstText != nullptr) ReleasePool(firstText);
  return status;
}

}  // namespace

EFI_STATUS DevicePathsNameSameFile(const EFI_DEVICE_PATH_PROTOCOL* First, const EFI_DEVICE_PATH_PROTOCOL* Second,
                                   BOOLEAN* Same) {
  SkipEqualDeviceNodes(&First, &Second);
  if (!EndsDevicePart(First) || !EndsDevicePart(Second)) {
    *Same = FALSE;
    return EFI_SUCCESS;
  }
  return CompareFileParts(First, Second, Same);
}

EFI_STATUS FileNamesNameSameFile(const CHAR16* First, const CHAR16* Second, BOOLEAN* Same) {
  // The shell owns the paths it hands out; they are not released here.
  EFI_DEVICE_PATH_PROTOCOL* firstPath = LibShellEnvironment->NameToPath(First);
  EFI_DEVICE_PATH_PROTOCOL* secondPath = LibShellEnvironment->NameToPath(Second);
  if (firstPath == nullptr || secondPath == nullptr) {
    *Same = FALSE;
    return EFI_SUCCESS;
  }
  return DevicePathsNameSameFile(firstPath, secondPath, Same);
}
