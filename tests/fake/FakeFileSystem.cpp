#include "FakeFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FakeConsole.h"

namespace fake {

namespace {

FakeFileSystem* currentFileSystem = nullptr;

constexpr size_t kMaxNameLength = 255;
constexpr UINT64 kClusterSize = 4096;

// ---- Names ----

char16_t FoldUp(char16_t Unit) { return Unit >= u'a' && Unit <= u'z' ? char16_t(Unit - 0x20) : Unit; }

bool SameName(const std::u16string& A, const std::u16string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    if (FoldUp(A[i]) != FoldUp(B[i])) return false;
  }
  return true;
}

// FAT drops leading blanks and trailing blanks and dots of a name.
std::u16string TrimName(const std::u16string& Name) {
  size_t first = Name.find_first_not_of(u' ');
  if (first == std::u16string::npos) return u"";
  size_t last = Name.find_last_not_of(u" .");
  if (last == std::u16string::npos || last < first) return u"";
  return Name.substr(first, last - first + 1);
}

// A trimmed name as FAT accepts it: 1 to 255 units, no control characters
// and none of " * / : < > ? |.
bool IsValidName(const std::u16string& Name) {
  if (Name.empty() || Name.size() > kMaxNameLength) return false;
  for (char16_t unit : Name) {
    if (unit < 0x20 || std::u16string(u"\"*/:<>?|").find(unit) != std::u16string::npos) return false;
  }
  return true;
}

// The '\'-separated names of Path, empty ones left out (the test API's paths).
std::vector<std::u16string> SplitPath(const std::u16string& Path) {
  std::vector<std::u16string> names;
  size_t start = 0;
  while (start <= Path.size()) {
    size_t end = Path.find(u'\\', start);
    if (end == std::u16string::npos) end = Path.size();
    if (end > start) names.push_back(Path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// ---- 8.3 aliases ----

std::u16string UpperCase(std::u16string Text) {
  for (char16_t& unit : Text) unit = FoldUp(unit);
  return Text;
}

bool IsShortNameUnit(char16_t Unit) {
  return (Unit >= u'A' && Unit <= u'Z') || (Unit >= u'0' && Unit <= u'9') ||
         (Unit < 0x80 && std::u16string(u"$%'-_@~`!(){}^#&").find(Unit) != std::u16string::npos);
}

// The basis of a short name for Name: upper case, blanks and leading dots
// removed, the base before the last dot (its own dots removed) and the
// extension after it, other units that a short name cannot hold as '_'.
// *Lossy tells whether anything was changed, dropped or cut.
std::u16string ShortBasis(const std::u16string& Name, std::u16string* Extension, bool* Lossy) {
  std::u16string upper = UpperCase(Name);
  *Lossy = false;
  std::u16string kept;
  for (size_t i = 0; i < upper.size(); ++i) {
    bool leadingDot = upper[i] == u'.' && kept.empty();
    if (upper[i] == u' ' || leadingDot) {
      *Lossy = true;
      continue;
    }
    kept.push_back(upper[i]);
  }
  size_t dot = kept.rfind(u'.');
  std::u16string base = dot == std::u16string::npos ? kept : kept.substr(0, dot);
  *Extension = dot == std::u16string::npos ? u"" : kept.substr(dot + 1);
  for (std::u16string* part : {&base, Extension}) {
    std::u16string clean;
    for (char16_t unit : *part) {
      if (unit == u'.') {
        *Lossy = true;
        continue;
      }
      if (!IsShortNameUnit(unit)) *Lossy = true;
      clean.push_back(IsShortNameUnit(unit) ? unit : u'_');
    }
    *part = clean;
  }
  if (base.size() > 8 || Extension->size() > 3) *Lossy = true;
  Extension->resize(std::min<size_t>(Extension->size(), 3));
  return base;
}

}  // namespace

// The short name FAT gives a new entry: the basis itself when nothing was
// lost and no sibling has it, else the first six units of the base, "~N" and
// the extension, with the lowest N that no sibling has.
std::u16string ShortNameFor(const std::u16string& Name, const std::vector<std::u16string>& Taken) {
  std::u16string extension;
  bool lossy = false;
  std::u16string base = ShortBasis(Name, &extension, &lossy);
  auto join = [&](const std::u16string& Base) { return extension.empty() ? Base : Base + u"." + extension; };
  auto taken = [&](const std::u16string& Alias) { return std::find(Taken.begin(), Taken.end(), Alias) != Taken.end(); };
  if (!lossy && !base.empty() && !taken(join(base))) return join(base);
  for (unsigned n = 1;; ++n) {
    std::u16string tail = u"~" + Widen(std::to_string(n));
    std::u16string alias = join(base.substr(0, std::min(base.size(), 8 - tail.size())) + tail);
    if (!taken(alias)) return alias;
  }
}

namespace {

// ---- Device path nodes ----

void PutUint16(std::vector<UINT8>& Bytes, size_t At, UINT16 Value) {
  Bytes[At] = UINT8(Value);
  Bytes[At + 1] = UINT8(Value >> 8);
}

std::vector<UINT8> NodeHeader(UINT8 Type, UINT8 SubType, size_t Length) {
  std::vector<UINT8> node(Length, 0);
  node[0] = Type;
  node[1] = SubType;
  PutUint16(node, 2, UINT16(Length));
  return node;
}

// PciRoot(0): an ACPI node with the PNP0A03 identifier.
std::vector<UINT8> PciRootNode() {
  std::vector<UINT8> node = NodeHeader(ACPI_DEVICE_PATH, 1, 12);
  const UINT32 hid = 0x0A0341D0;
  std::memcpy(&node[4], &hid, 4);
  return node;
}

// A hard-drive media node for partition Number, with a signature of its own.
std::vector<UINT8> HardDriveNode(UINT32 Number) {
  std::vector<UINT8> node = NodeHeader(MEDIA_DEVICE_PATH, MEDIA_HARDDRIVE_DP, 42);
  std::memcpy(&node[4], &Number, 4);
  const UINT64 start = 2048 * UINT64(Number);
  const UINT64 size = 2048;
  std::memcpy(&node[8], &start, 8);
  std::memcpy(&node[16], &size, 8);
  node[24] = UINT8(0x51 + Number);  // MBR disk signature
  node[40] = 0x01;                  // MBR partition table
  node[41] = 0x01;                  // 32-bit signature
  return node;
}

}  // namespace

std::vector<UINT8> FilePathNode(const std::u16string& Name) {
  std::vector<UINT8> node = NodeHeader(MEDIA_DEVICE_PATH, MEDIA_FILEPATH_DP, 4 + (Name.size() + 1) * 2);
  std::memcpy(&node[4], Name.data(), Name.size() * 2);
  return node;
}

std::vector<UINT8> EndOfPathNode() { return NodeHeader(END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4); }

std::vector<UINT8> JoinNodes(const std::vector<std::vector<UINT8>>& Nodes) {
  std::vector<UINT8> path;
  for (const auto& node : Nodes) path.insert(path.end(), node.begin(), node.end());
  return path;
}

std::vector<UINT8> DevicePathBytes(const EFI_DEVICE_PATH_PROTOCOL* Path) {
  const UINT8* start = reinterpret_cast<const UINT8*>(Path);
  const UINT8* node = start;
  for (;;) {
    size_t length = size_t(node[2]) | (size_t(node[3]) << 8);
    bool end = (node[0] & EFI_DP_TYPE_MASK) == END_DEVICE_PATH_TYPE && node[1] == END_ENTIRE_DEVICE_PATH_SUBTYPE;
    if (end || length < 4) return std::vector<UINT8>(start, node + 4);
    node += length;
  }
}

// ---- Tree ----

struct FakeVolume::Node : std::enable_shared_from_this<FakeVolume::Node> {
  std::u16string Name;
  std::u16string Alias;  // the 8.3 short name
  bool Directory = false;
  bool ReadOnly = false;
  bool Deleted = false;
  std::string Data;
  Node* Parent = nullptr;
  std::vector<std::shared_ptr<Node>> Children;

  // The entry whose long name or short name is ChildName, ignoring case.
  Node* Child(const std::u16string& ChildName) const {
    for (const auto& child : Children) {
      if (SameName(child->Name, ChildName) || SameName(child->Alias, ChildName)) return child.get();
    }
    return nullptr;
  }

  Node* AddChild(const std::u16string& ChildName, bool IsDirectory) {
    std::vector<std::u16string> aliases;
    for (const auto& sibling : Children) aliases.push_back(sibling->Alias);
    auto child = std::make_shared<Node>();
    child->Name = ChildName;
    child->Alias = ShortNameFor(ChildName, aliases);
    child->Directory = IsDirectory;
    child->Parent = this;
    Children.push_back(child);
    return child.get();
  }

  // Takes the node out of its directory; handles still open on it see it deleted.
  void Detach() {
    Deleted = true;
    if (Parent == nullptr) return;
    auto& siblings = Parent->Children;
    // The erase may free this node (no handle open on it): nothing of it is touched after.
    Parent = nullptr;
    siblings.erase(std::find_if(siblings.begin(), siblings.end(),
                                [this](const std::shared_ptr<Node>& sibling) { return sibling.get() == this; }));
  }

  std::u16string FullPath() const {
    if (Parent == nullptr) return Deleted ? u"(deleted) " + Name : u"\\";
    std::u16string above = Parent->FullPath();
    return above == u"\\" ? above + Name : above + u"\\" + Name;
  }
};

// One handle handed out by OpenVolume or Open.
struct FakeFileSystem::OpenFile {
  EFI_FILE_PROTOCOL Protocol{};
  FakeVolume* Volume = nullptr;
  std::shared_ptr<FakeVolume::Node> Node;
  UINT64 Position = 0;
  size_t NextEntry = 0;  // directory reads
  bool Writable = false;
  bool Open = true;
};

// ---- The protocol functions ----

struct FakeFileSystem::Impl {
  using Node = FakeVolume::Node;

  static FileCall NewCall(const char* Function) {
    FileCall call;
    call.Function = Function;
    return call;
  }

  // The open handle behind This, or null after a gtest failure.
  static OpenFile* Lookup(FakeFileSystem& fs, const EFI_FILE_PROTOCOL* This, const char* Function) {
    auto found = fs.byProtocol_.find(This);
    if (found == fs.byProtocol_.end()) {
      ADD_FAILURE() << Function << " on " << This << ", which is not a handle of the fake file system";
      return nullptr;
    }
    if (!found->second->Open) {
      ADD_FAILURE() << Function << " on a closed handle of " << Narrow(found->second->Node->FullPath());
      return nullptr;
    }
    return found->second;
  }

  // The status a test scripted for this call of Function, or EFI_SUCCESS.
  static EFI_STATUS Scripted(FakeFileSystem& fs, const std::string& Function) {
    size_t nth = ++fs.callCounts_[Function];
    if (++fs.countedCalls_ > fs.cutAt_) return EFI_NO_MEDIA;
    auto found = fs.scripted_.find({Function, nth});
    return found == fs.scripted_.end() ? EFI_SUCCESS : found->second;
  }

  static EFI_STATUS Record(FakeFileSystem& fs, FileCall Call, const OpenFile* File, EFI_STATUS Status) {
    if (File != nullptr) Call.Path = File->Node->FullPath();
    Call.Status = Status;
    fs.calls_.push_back(std::move(Call));
    return Status;
  }

  static EFI_FILE_PROTOCOL* NewHandle(FakeFileSystem& fs, FakeVolume* Volume, Node* Target, bool Writable) {
    auto file = std::make_unique<OpenFile>();
    file->Protocol.Revision = EFI_FILE_PROTOCOL_REVISION;
    file->Protocol.Open = &Open;
    file->Protocol.Close = &Close;
    file->Protocol.Delete = &Delete;
    file->Protocol.Read = &Read;
    file->Protocol.Write = &Write;
    file->Protocol.GetPosition = &GetPosition;
    file->Protocol.SetPosition = &SetPosition;
    file->Protocol.GetInfo = &GetInfo;
    file->Protocol.SetInfo = &SetInfo;
    file->Protocol.Flush = &Flush;
    file->Volume = Volume;
    file->Node = Target->shared_from_this();
    file->Writable = Writable;
    EFI_FILE_PROTOCOL* protocol = &file->Protocol;
    fs.byProtocol_[protocol] = file.get();
    fs.handles_.push_back(std::move(file));
    return protocol;
  }

  static EFI_STATUS EFIAPI OpenVolume(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* This, EFI_FILE_PROTOCOL** Root) {
    FakeFileSystem& fs = Current();
    FakeVolume* volume = nullptr;
    for (auto& candidate : fs.volumes_) {
      if (candidate->Protocol() == This) volume = candidate.get();
    }
    FileCall call = NewCall("OpenVolume");
    if (volume == nullptr || Root == nullptr) return Record(fs, call, nullptr, EFI_INVALID_PARAMETER);
    call.Path = u"\\";
    if (fs.OpenVolumeFailure != EFI_SUCCESS) return Record(fs, call, nullptr, fs.OpenVolumeFailure);
    *Root = NewHandle(fs, volume, volume->RootNode(), !volume->WriteProtected);
    return Record(fs, call, nullptr, EFI_SUCCESS);
  }

  static bool IsValidMode(UINT64 Mode) {
    return Mode == kOpenForReading || Mode == kOpenForWriting || Mode == kOpenOrCreate;
  }

  // The next name of Path from *At on, and *At moved past the separators
  // that follow it. An empty name ends the walk.
  static std::u16string NextName(const std::u16string& Path, size_t* At) {
    size_t end = Path.find(u'\\', *At);
    if (end == std::u16string::npos) end = Path.size();
    std::u16string name = Path.substr(*At, end - *At);
    *At = end;
    while (*At < Path.size() && Path[*At] == u'\\') ++*At;
    return name;
  }

  // Walks Name from the handle's file, as OVMF's FAT driver does: a leading
  // '\' starts at the root, "." and ".." step in place and up (also from a
  // file, whose parent is its directory), other names are trimmed and looked
  // up by long or short name; an empty name ends the walk, so "\\x" is the
  // root. A trailing '\' asks for a directory. The last name is created
  // when asked to.
  static EFI_STATUS Resolve(OpenFile& File, const std::u16string& Name, UINT64 Mode, UINT64 Attributes, Node** Target,
                            bool* Created) {
    if (Name.empty()) return EFI_INVALID_PARAMETER;
    const bool directoryWanted = Name.back() == u'\\';
    Node* at = Name[0] == u'\\' ? File.Volume->RootNode() : File.Node.get();
    size_t position = Name[0] == u'\\' ? 1 : 0;
    for (;;) {
      std::u16string component = NextName(Name, &position);
      if (component.empty()) break;
      if (component == u".") continue;
      if (component == u"..") {
        if (at->Parent == nullptr) return EFI_INVALID_PARAMETER;
        at = at->Parent;
        continue;
      }
      std::u16string name = TrimName(component);
      if (!IsValidName(name)) return EFI_INVALID_PARAMETER;
      if (!at->Directory) return EFI_NOT_FOUND;
      Node* next = at->Child(name);
      if (next == nullptr) {
        bool last = position >= Name.size();
        if (!last || (Mode & EFI_FILE_MODE_CREATE) == 0) return EFI_NOT_FOUND;
        // A name that asks for a directory cannot be created as a file.
        if (directoryWanted && (Attributes & EFI_FILE_DIRECTORY) == 0) return EFI_INVALID_PARAMETER;
        next = at->AddChild(name, (Attributes & EFI_FILE_DIRECTORY) != 0);
        next->ReadOnly = (Attributes & EFI_FILE_READ_ONLY) != 0;
        *Created = true;
      }
      at = next;
    }
    if (directoryWanted && !at->Directory) return EFI_NOT_FOUND;
    *Target = at;
    return EFI_SUCCESS;
  }

  static EFI_STATUS DoOpen(FakeFileSystem& fs, OpenFile& File, EFI_FILE_PROTOCOL** NewHandle, const CHAR16* FileName,
                           UINT64 Mode, UINT64 Attributes) {
    if (NewHandle == nullptr || FileName == nullptr) return EFI_INVALID_PARAMETER;
    if (!IsValidMode(Mode) || (Attributes & ~EFI_FILE_VALID_ATTR) != 0) return EFI_INVALID_PARAMETER;
    if (File.Node->Deleted) return EFI_DEVICE_ERROR;
    bool write = (Mode & EFI_FILE_MODE_WRITE) != 0;
    if (write && File.Volume->WriteProtected) return EFI_WRITE_PROTECTED;
    Node* target = nullptr;
    bool created = false;
    EFI_STATUS status = Resolve(File, FileName, Mode, Attributes, &target, &created);
    if (status != EFI_SUCCESS) return status;
    if (write && target->ReadOnly && !created) return EFI_ACCESS_DENIED;
    *NewHandle = Impl::NewHandle(fs, File.Volume, target, write);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Open(EFI_FILE_PROTOCOL* This, EFI_FILE_PROTOCOL** NewHandle, const CHAR16* FileName,
                                UINT64 OpenMode, UINT64 Attributes) {
    FakeFileSystem& fs = Current();
    OpenFile* file = Lookup(fs, This, "Open");
    FileCall call = NewCall("Open");
    call.Name = FileName != nullptr ? FileName : u"";
    call.Mode = OpenMode;
    call.Attributes = Attributes;
    if (file == nullptr) return Record(fs, call, file, EFI_INVALID_PARAMETER);
    if (EFI_STATUS failure = Scripted(fs, "Open"); failure != EFI_SUCCESS) return Record(fs, call, file, failure);
    return Record(fs, call, file, DoOpen(fs, *file, NewHandle, FileName, OpenMode, Attributes));
  }

  static EFI_STATUS EFIAPI Close(EFI_FILE_PROTOCOL* This) {
    FakeFileSystem& fs = Current();
    OpenFile* file = Lookup(fs, This, "Close");
    if (file == nullptr) return Record(fs, NewCall("Close"), file, EFI_INVALID_PARAMETER);
    file->Open = false;
    return Record(fs, NewCall("Close"), file, EFI_SUCCESS);
  }

  static bool DeleteRefused(const FakeFileSystem& fs, const OpenFile& File) {
    const Node& node = *File.Node;
    return fs.DeleteFails || !File.Writable || node.Deleted || node.Parent == nullptr ||
           (node.Directory && !node.Children.empty());
  }

  static EFI_STATUS EFIAPI Delete(EFI_FILE_PROTOCOL* This) {
    FakeFileSystem& fs = Current();
    OpenFile* file = Lookup(fs, This, "Delete");
    if (file == nullptr) return Record(fs, NewCall("Delete"), file, EFI_INVALID_PARAMETER);
    file->Open = false;
    if (EFI_STATUS failure = Scripted(fs, "Delete"); failure != EFI_SUCCESS) {
      return Record(fs, NewCall("Delete"), file, failure);
    }
    if (DeleteRefused(fs, *file)) return Record(fs, NewCall("Delete"), file, EFI_WARN_DELETE_FAILURE);
    EFI_STATUS status = Record(fs, NewCall("Delete"), file, EFI_SUCCESS);
    UINT64& space = file->Volume->FreeSpace;
    UINT64 size = file->Node->Data.size();
    space = space > UINT64_MAX - size ? UINT64_MAX : space + size;
    file->Node->Detach();
    return status;
  }

  // The EFI_FILE_INFO record of Target, name included.
  static std::vector<UINT8> InfoRecord(const Node& Target) {
    std::u16string name = Target.Parent == nullptr ? u"" : Target.Name;
    std::vector<UINT8> bytes(SIZE_OF_EFI_FILE_INFO + (name.size() + 1) * sizeof(CHAR16), 0);
    EFI_FILE_INFO info{};
    info.Size = bytes.size();
    info.FileSize = Target.Directory ? 0 : Target.Data.size();
    info.PhysicalSize = (info.FileSize + kClusterSize - 1) / kClusterSize * kClusterSize;
    info.CreateTime = info.LastAccessTime = info.ModificationTime = TimeOf(2024, 1, 2, 3, 4, 5);
    info.Attribute = Target.Directory ? EFI_FILE_DIRECTORY : EFI_FILE_ARCHIVE;
    if (Target.ReadOnly) info.Attribute |= EFI_FILE_READ_ONLY;
    std::memcpy(bytes.data(), &info, SIZE_OF_EFI_FILE_INFO);
    std::memcpy(bytes.data() + SIZE_OF_EFI_FILE_INFO, name.data(), name.size() * sizeof(CHAR16));
    return bytes;
  }

  // Copies Record into the caller's buffer, or asks for the size it needs.
  static EFI_STATUS HandOut(const std::vector<UINT8>& Record, UINTN* BufferSize, VOID* Buffer) {
    if (*BufferSize < Record.size()) {
      *BufferSize = Record.size();
      return EFI_BUFFER_TOO_SMALL;
    }
    if (Buffer == nullptr) return EFI_INVALID_PARAMETER;
    std::memcpy(Buffer, Record.data(), Record.size());
    *BufferSize = Record.size();
    return EFI_SUCCESS;
  }

  static EFI_STATUS ReadEntry(OpenFile& File, UINTN* BufferSize, VOID* Buffer) {
    const auto& children = File.Node->Children;
    if (File.NextEntry >= children.size()) {
      *BufferSize = 0;
      return EFI_SUCCESS;
    }
    EFI_STATUS status = HandOut(InfoRecord(*children[File.NextEntry]), BufferSize, Buffer);
    if (status == EFI_SUCCESS) ++File.NextEntry;
    return status;
  }

  static EFI_STATUS DoRead(OpenFile& File, UINTN* BufferSize, VOID* Buffer) {
    if (BufferSize == nullptr || (*BufferSize != 0 && Buffer == nullptr)) return EFI_INVALID_PARAMETER;
    if (File.Node->Deleted) return EFI_DEVICE_ERROR;
    if (File.Node->Directory) return ReadEntry(File, BufferSize, Buffer);
    const std::string& data = File.Node->Data;
    if (File.Position > data.size()) return EFI_DEVICE_ERROR;
    UINTN count = std::min<UINT64>(*BufferSize, data.size() - File.Position);
    if (count != 0) std::memcpy(Buffer, data.data() + File.Position, count);
    File.Position += count;
    *BufferSize = count;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Read(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, VOID* Buffer) {
    FakeFileSystem& fs = Current();
    OpenFile* file = Lookup(fs, This, "Read");
    FileCall call = NewCall("Read");
    call.Size = BufferSize != nullptr ? *BufferSize : 0;
    if (file == nullptr) return Record(fs, call, file, EFI_INVALID_PARAMETER);
    if (EFI_STATUS failure = Scripted(fs, "Read"); failure != EFI_SUCCESS) {
      *BufferSize = 0;
      return Record(fs, call, file, failure);
    }
    return Record(fs, call, file, DoRead(*file, BufferSize, Buffer));
  }

  static EFI_STATUS DoWrite(FakeFileSystem& fs, OpenFile& File, UINTN* BufferSize, const VOID* Buffer) {
    if (BufferSize == nullptr || (*BufferSize != 0 && Buffer == nullptr)) return EFI_INVALID_PARAMETER;
    if (File.Node->Deleted) return EFI_DEVICE_ERROR;
    if (File.Node->Directory) return EFI_UNSUPPORTED;
    if (!File.Writable) return EFI_ACCESS_DENIED;
    if (File.Volume->WriteProtected) return EFI_WRITE_PROTECTED;
    std::string& data = File.Node->Data;
    if (fs.ShortWriteLimit != 0 && *BufferSize > fs.ShortWriteLimit) *BufferSize = fs.ShortWriteLimit;
    UINT64 end = File.Position + *BufferSize;
    UINT64 growth = end > data.size() ? end - data.size() : 0;
    EFI_STATUS refusal = fs.WriteFailure != EFI_SUCCESS    ? fs.WriteFailure
                         : growth > File.Volume->FreeSpace ? EFI_VOLUME_FULL
                                                           : EFI_SUCCESS;
    if (refusal != EFI_SUCCESS) {
      *BufferSize = 0;
      return refusal;
    }
    if (end > data.size()) data.resize(end, '\0');
    if (*BufferSize != 0) std::memcpy(&data[File.Position], Buffer, *BufferSize);
    File.Volume->FreeSpace -= growth;
    File.Position = end;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Write(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, const VOID* Buffer) {
    FakeFileSystem& fs = Current();
    OpenFile* file = Lookup(fs, This, "Write");
    FileCall call = NewCall("Write");
    call.Size = BufferSize != nullptr ? *BufferSize : 0;
    if (file == nullptr) return Record(fs, call, file, EFI_INVALID_PARAMETER);
    if (EFI_STATUS failure = Scripted(fs, "Write"); failure != EFI_SUCCESS) {
      *BufferSize = 0;
      return Record(fs, call, file, failure);
    }
    return Record(fs, call, file, DoWrite(fs, *file, BufferSize, Buffer));
  }

  static EFI_STATUS DoGetPosition(const OpenFile& File, UINT64* Position) {
    if (Position == nullptr) return EFI_INVALID_PARAMETER;
    if (File.Node->Deleted) return EFI_DEVICE_ERROR;
    if (File.Node->Directory) return EFI_UNSUPPORTED;
    *Position = File.Position;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI GetPosition(EFI_FILE_PROTOCOL* This, UINT64* Position) {
    FakeFileSystem& fs = Current();
    OpenFile* file = Lookup(fs, This, "GetPosition");
    if (file == nullptr) return Record(fs, NewCall("GetPosition"), file, EFI_INVALID_PARAMETER);
    return Record(fs, NewCall("GetPosition"), file, DoGetPosition(*file, Position));
  }

  static EFI_STATUS DoSetPosition(OpenFile& File, UINT64 Position) {
    if (File.Node->Deleted) return EFI_DEVICE_ERROR;
    if (File.Node->Directory) {
      if (Position != 0) return EFI_UNSUPPORTED;
      File.NextEntry = 0;
      return EFI_SUCCESS;
    }
    File.Position = Position == ~UINT64(0) ? File.Node->Data.size() : Position;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI SetPosition(EFI_FILE_PROTOCOL* This, UINT64 Position) {
    FakeFileSystem& fs = Current();
    OpenFile* file = Lookup(fs, This, "SetPosition");
    if (file == nullptr) return Record(fs, NewCall("SetPosition"), file, EFI_INVALID_PARAMETER);
    return Record(fs, NewCall("SetPosition"), file, DoSetPosition(*file, Position));
  }

  static EFI_STATUS DoGetInfo(const FakeFileSystem& fs, const OpenFile& File, const EFI_GUID* Type, UINTN* BufferSize,
                              VOID* Buffer) {
    if (Type == nullptr || BufferSize == nullptr) return EFI_INVALID_PARAMETER;
    if (File.Node->Deleted) return EFI_DEVICE_ERROR;
    if (fs.GetInfoFailure != EFI_SUCCESS) return fs.GetInfoFailure;
    if (!SameGuid(*Type, gEfiFileInfoGuid)) return EFI_UNSUPPORTED;
    return HandOut(InfoRecord(*File.Node), BufferSize, Buffer);
  }

  static EFI_STATUS EFIAPI GetInfo(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType, UINTN* BufferSize,
                                   VOID* Buffer) {
    FakeFileSystem& fs = Current();
    OpenFile* file = Lookup(fs, This, "GetInfo");
    FileCall call = NewCall("GetInfo");
    call.Size = BufferSize != nullptr ? *BufferSize : 0;
    if (file == nullptr) return Record(fs, call, file, EFI_INVALID_PARAMETER);
    if (EFI_STATUS failure = Scripted(fs, "GetInfo"); failure != EFI_SUCCESS) return Record(fs, call, file, failure);
    return Record(fs, call, file, DoGetInfo(fs, *file, InformationType, BufferSize, Buffer));
  }

  // The directory a new name of File puts it in, as OVMF's FAT driver reads
  // the FileName given to SetInfo: a path from the root when it begins with
  // '\', else from the file's own directory; *Leaf is its trimmed last name.
  static EFI_STATUS RenameTarget(const OpenFile& File, const std::u16string& NewName, Node** Directory,
                                 std::u16string* Leaf) {
    Node* at = !NewName.empty() && NewName[0] == u'\\' ? File.Volume->RootNode() : File.Node->Parent;
    size_t position = !NewName.empty() && NewName[0] == u'\\' ? 1 : 0;
    std::u16string component = NextName(NewName, &position);
    while (position < NewName.size()) {
      Node* next = component == u".." ? at->Parent : component == u"." ? at : at->Child(TrimName(component));
      if (next == nullptr || !next->Directory) return EFI_NOT_FOUND;
      at = next;
      component = NextName(NewName, &position);
    }
    *Leaf = TrimName(component);
    if (!IsValidName(*Leaf)) return EFI_INVALID_PARAMETER;
    *Directory = at;
    return EFI_SUCCESS;
  }

  // Renames (and moves) the file; a name that differs only in letter case
  // from its own is accepted and changes nothing, another entry's name is
  // refused. Size, times and attributes are not modelled: a record that
  // would change the size is a test failure.
  static EFI_STATUS DoSetInfo(OpenFile& File, const EFI_GUID* Type, UINTN BufferSize, const VOID* Buffer) {
    if (Type == nullptr || Buffer == nullptr) return EFI_INVALID_PARAMETER;
    if (!SameGuid(*Type, gEfiFileInfoGuid)) return EFI_UNSUPPORTED;
    // The whole record is read, as a driver may read it; its Size must be
    // the fixed part and the name with its terminator.
    if (BufferSize < SIZE_OF_EFI_FILE_INFO + sizeof(CHAR16)) return EFI_BAD_BUFFER_SIZE;
    std::vector<UINT8> record(static_cast<const UINT8*>(Buffer), static_cast<const UINT8*>(Buffer) + BufferSize);
    const auto* info = static_cast<const EFI_FILE_INFO*>(Buffer);
    const size_t nameUnits = std::u16string(info->FileName).size();
    if (info->Size > BufferSize || info->Size != SIZE_OF_EFI_FILE_INFO + (nameUnits + 1) * sizeof(CHAR16)) {
      return EFI_BAD_BUFFER_SIZE;
    }
    if (File.Node->Deleted) return EFI_DEVICE_ERROR;
    if (!File.Writable || File.Node->Parent == nullptr) return EFI_ACCESS_DENIED;
    if (!File.Node->Directory && info->FileSize != File.Node->Data.size()) {
      ADD_FAILURE() << "SetInfo that changes the file size is not modelled";
      return EFI_UNSUPPORTED;
    }
    Node* directory = nullptr;
    std::u16string leaf;
    EFI_STATUS status = RenameTarget(File, info->FileName, &directory, &leaf);
    if (status != EFI_SUCCESS) return status;
    Node* existing = directory->Child(leaf);
    if (existing == File.Node.get()) return EFI_SUCCESS;
    if (existing != nullptr) return EFI_ACCESS_DENIED;
    std::shared_ptr<Node> node = File.Node;
    node->Detach();
    node->Deleted = false;
    std::vector<std::u16string> aliases;
    for (const auto& sibling : directory->Children) aliases.push_back(sibling->Alias);
    node->Name = leaf;
    node->Alias = ShortNameFor(leaf, aliases);
    node->Parent = directory;
    directory->Children.push_back(node);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI SetInfo(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType, UINTN BufferSize,
                                   const VOID* Buffer) {
    FakeFileSystem& fs = Current();
    OpenFile* file = Lookup(fs, This, "SetInfo");
    FileCall call = NewCall("SetInfo");
    call.Size = BufferSize;
    if (file == nullptr) return Record(fs, call, file, EFI_INVALID_PARAMETER);
    if (Buffer != nullptr && BufferSize >= SIZE_OF_EFI_FILE_INFO + sizeof(CHAR16)) {
      call.Name = static_cast<const EFI_FILE_INFO*>(Buffer)->FileName;
    }
    if (EFI_STATUS failure = Scripted(fs, "SetInfo"); failure != EFI_SUCCESS) return Record(fs, call, file, failure);
    return Record(fs, call, file, DoSetInfo(*file, InformationType, BufferSize, Buffer));
  }

  static EFI_STATUS DoFlush(const FakeFileSystem& fs, const OpenFile& File) {
    if (File.Node->Deleted) return EFI_DEVICE_ERROR;
    if (!File.Writable) return EFI_ACCESS_DENIED;
    return fs.FlushFailure;
  }

  static EFI_STATUS EFIAPI Flush(EFI_FILE_PROTOCOL* This) {
    FakeFileSystem& fs = Current();
    OpenFile* file = Lookup(fs, This, "Flush");
    if (file == nullptr) return Record(fs, NewCall("Flush"), file, EFI_INVALID_PARAMETER);
    if (EFI_STATUS failure = Scripted(fs, "Flush"); failure != EFI_SUCCESS) {
      return Record(fs, NewCall("Flush"), file, failure);
    }
    return Record(fs, NewCall("Flush"), file, DoFlush(fs, *file));
  }

  static EFI_STATUS EFIAPI FlushBlocks(EFI_BLOCK_IO_PROTOCOL* This) {
    FakeFileSystem& fs = Current();
    return Record(fs, NewCall("FlushBlocks"), nullptr,
                  This == nullptr ? EFI_INVALID_PARAMETER : Scripted(fs, "FlushBlocks"));
  }
};

// ---- Volumes ----

FakeVolume::FakeVolume(FakeFileSystem& Owner, size_t Index) : owner_(Owner), index_(Index) {
  root_ = std::make_shared<Node>();
  root_->Directory = true;
  protocol_.Revision = EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_REVISION;
  protocol_.OpenVolume = &FakeFileSystem::Impl::OpenVolume;
  devicePath_ = JoinNodes({PciRootNode(), HardDriveNode(UINT32(Index + 1)), EndOfPathNode()});
  owner_.fw_.InstallProtocol(&handle_, gEfiSimpleFileSystemProtocolGuid, &protocol_);
  owner_.fw_.InstallProtocol(&handle_, gEfiDevicePathProtocolGuid, devicePath_.data());
  blockIo_.FlushBlocks = &FakeFileSystem::Impl::FlushBlocks;
  owner_.fw_.InstallProtocol(&handle_, gEfiBlockIoProtocolGuid, &blockIo_);
}

std::vector<UINT8> FakeVolume::FilePath(const std::vector<std::u16string>& Nodes) const {
  std::vector<UINT8> path(devicePath_.begin(), devicePath_.end() - 4);
  for (const auto& name : Nodes) {
    std::vector<UINT8> node = FilePathNode(name);
    path.insert(path.end(), node.begin(), node.end());
  }
  std::vector<UINT8> end = EndOfPathNode();
  path.insert(path.end(), end.begin(), end.end());
  return path;
}

FakeVolume::Node* FakeVolume::Find(const std::u16string& Path) const {
  Node* at = root_.get();
  for (const auto& name : SplitPath(Path)) {
    at = at->Directory ? at->Child(TrimName(name)) : nullptr;
    if (at == nullptr) return nullptr;
  }
  return at;
}

// The directory that holds Path's last name, made as needed.
FakeVolume::Node* FakeVolume::MakeParents(const std::u16string& Path, std::u16string* LastName) {
  std::vector<std::u16string> names = SplitPath(Path);
  if (names.empty()) {
    ADD_FAILURE() << "fake volume: no file name in \"" << Narrow(Path) << '"';
    return nullptr;
  }
  *LastName = TrimName(names.back());
  names.pop_back();
  Node* at = root_.get();
  for (const auto& raw : names) {
    std::u16string name = TrimName(raw);
    Node* next = at->Child(name);
    if (next == nullptr) next = at->AddChild(name, true);
    if (!next->Directory) {
      ADD_FAILURE() << "fake volume: \"" << Narrow(name) << "\" is a file, not a directory";
      return nullptr;
    }
    at = next;
  }
  return at;
}

void FakeVolume::WriteFile(const std::u16string& Path, const std::string& Bytes) {
  std::u16string name;
  Node* parent = MakeParents(Path, &name);
  if (parent == nullptr) return;
  Node* file = parent->Child(name);
  if (file == nullptr) file = parent->AddChild(name, false);
  if (file->Directory) {
    ADD_FAILURE() << "fake volume: \"" << Narrow(Path) << "\" is a directory";
    return;
  }
  file->Data = Bytes;
}

void FakeVolume::MakeDirectory(const std::u16string& Path) {
  std::u16string name;
  Node* parent = MakeParents(Path, &name);
  if (parent == nullptr) return;
  Node* directory = parent->Child(name);
  if (directory == nullptr) directory = parent->AddChild(name, true);
  if (!directory->Directory) ADD_FAILURE() << "fake volume: \"" << Narrow(Path) << "\" is a file";
}

std::optional<std::string> FakeVolume::ReadFile(const std::u16string& Path) const {
  const Node* file = Find(Path);
  if (file == nullptr || file->Directory) return std::nullopt;
  return file->Data;
}

bool FakeVolume::Exists(const std::u16string& Path) const { return Find(Path) != nullptr; }

bool FakeVolume::IsDirectory(const std::u16string& Path) const {
  const Node* node = Find(Path);
  return node != nullptr && node->Directory;
}

std::vector<std::u16string> FakeVolume::List(const std::u16string& Directory) const {
  std::vector<std::u16string> names;
  const Node* directory = Find(Directory);
  if (directory == nullptr || !directory->Directory) {
    ADD_FAILURE() << "fake volume: no directory \"" << Narrow(Directory) << '"';
    return names;
  }
  for (const auto& child : directory->Children) names.push_back(child->Name);
  return names;
}

void FakeVolume::SetReadOnly(const std::u16string& Path, bool ReadOnly) {
  Node* node = Find(Path);
  if (node == nullptr) {
    ADD_FAILURE() << "fake volume: no file \"" << Narrow(Path) << '"';
    return;
  }
  node->ReadOnly = ReadOnly;
}

void FakeVolume::Remove(const std::u16string& Path) {
  Node* node = Find(Path);
  if (node == nullptr || node == root_.get()) {
    ADD_FAILURE() << "fake volume: cannot remove \"" << Narrow(Path) << '"';
    return;
  }
  node->Detach();
}

// ---- The file system ----

FakeFileSystem::FakeFileSystem(FakeFirmware& Firmware) : fw_(Firmware) {
  if (currentFileSystem != nullptr) {
    std::fprintf(stderr, "fake file system: a second instance while one is current\n");
    std::abort();
  }
  currentFileSystem = this;
}

FakeFileSystem::~FakeFileSystem() {
  if (ExpectAllClosed && OpenHandleCount() != 0) {
    std::string paths;
    for (const auto& path : OpenHandlePaths()) paths += " " + Narrow(path);
    ADD_FAILURE() << OpenHandleCount() << " file handle(s) left open:" << paths;
  }
  for (auto& volume : volumes_) {
    fw_.UninstallProtocol(volume->handle_, gEfiSimpleFileSystemProtocolGuid);
    fw_.UninstallProtocol(volume->handle_, gEfiDevicePathProtocolGuid);
    fw_.UninstallProtocol(volume->handle_, gEfiBlockIoProtocolGuid);
  }
  currentFileSystem = nullptr;
}

FakeFileSystem& FakeFileSystem::Current() {
  if (currentFileSystem == nullptr) {
    std::fprintf(stderr, "fake file system: a file function was called with no file system\n");
    std::abort();
  }
  return *currentFileSystem;
}

FakeVolume& FakeFileSystem::AddVolume() {
  volumes_.push_back(std::unique_ptr<FakeVolume>(new FakeVolume(*this, volumes_.size())));
  return *volumes_.back();
}

size_t FakeFileSystem::OpenHandleCount() const {
  return size_t(std::count_if(handles_.begin(), handles_.end(), [](const auto& file) { return file->Open; }));
}

std::vector<std::u16string> FakeFileSystem::OpenHandlePaths() const {
  std::vector<std::u16string> paths;
  for (const auto& file : handles_) {
    if (file->Open) paths.push_back(file->Node->FullPath());
  }
  return paths;
}

std::vector<FileCall> FakeFileSystem::CallsOf(const std::string& Function) const {
  std::vector<FileCall> calls;
  for (const auto& call : calls_) {
    if (call.Function == Function) calls.push_back(call);
  }
  return calls;
}

}  // namespace fake
