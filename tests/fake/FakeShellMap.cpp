#include "FakeShellMap.h"

namespace fake {

namespace {

char16_t FoldUp(char16_t Unit) { return Unit >= u'a' && Unit <= u'z' ? char16_t(Unit - 0x20) : Unit; }

// The volume index of a mapping name "fsN", ignoring case.
bool VolumeIndex(const std::u16string& Map, size_t* Index) {
  if (Map.size() < 3 || FoldUp(Map[0]) != u'F' || FoldUp(Map[1]) != u'S') return false;
  size_t index = 0;
  for (size_t i = 2; i < Map.size(); ++i) {
    if (Map[i] < u'0' || Map[i] > u'9' || i > 6) return false;
    index = index * 10 + size_t(Map[i] - u'0');
  }
  *Index = index;
  return true;
}

// Splits "fsN:rest" into the volume and the rest. False for an unknown
// mapping; *HasMapping is false (and true returned) when there is no ':'.
bool SplitMapping(const std::u16string& Name, bool* HasMapping, size_t* Volume, std::u16string* Rest) {
  size_t colon = Name.find(u':');
  *HasMapping = colon != std::u16string::npos;
  if (!*HasMapping) {
    *Rest = Name;
    return true;
  }
  *Rest = Name.substr(colon + 1);
  return VolumeIndex(Name.substr(0, colon), Volume);
}

}  // namespace

FakeShellMap::FakeShellMap(FakeShell& Shell, FakeFileSystem& FileSystem) : shell_(Shell), fileSystem_(FileSystem) {
  shell_.NameToPath = [this](const CHAR16* Name) { return NameToPath(Name); };
}

FakeShellMap::~FakeShellMap() { shell_.NameToPath = nullptr; }

std::vector<UINT8> FakeShellMap::PathFor(const std::u16string& Name) const {
  bool currentMapped = false;
  size_t currentVolume = 0;
  std::u16string currentPath;
  bool haveCurrent = SplitMapping(currentDirectory_, &currentMapped, &currentVolume, &currentPath) && currentMapped;

  bool mapped = false;
  size_t volume = 0;
  std::u16string rest;
  if (!SplitMapping(Name, &mapped, &volume, &rest)) return {};
  if (!mapped && !haveCurrent) return {};
  if (!mapped) volume = currentVolume;
  if (volume >= fileSystem_.VolumeCount()) return {};
  if (mapped) return fileSystem_.Volume(volume).FilePath({rest});
  if (!rest.empty() && rest[0] == u'\\') return fileSystem_.Volume(volume).FilePath({rest});
  if (!currentPath.empty() && currentPath.back() == u'\\') currentPath.pop_back();
  return fileSystem_.Volume(volume).FilePath({currentPath + u"\\" + rest});
}

EFI_DEVICE_PATH_PROTOCOL* FakeShellMap::NameToPath(const CHAR16* Name) {
  std::u16string name = Name != nullptr ? Name : u"";
  mappedNames_.push_back(name);
  std::vector<UINT8> path = PathFor(name);
  if (path.empty()) return nullptr;
  handedOut_.push_back(std::move(path));
  return AsDevicePath(handedOut_.back());
}

}  // namespace fake
