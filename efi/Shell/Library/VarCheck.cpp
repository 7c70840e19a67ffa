#include "VarCheck.h"

#include "Globals.h"
#include "Mem.h"
#include "Str.h"

static const CHAR8 kLibSource[] = "Shell/Library/VarCheck";

BOOLEAN LibIsPlainArgument(const EFI_SHELL_INTERFACE* si, UINTN Index, const CHAR16* Arg) {
  if (si->ArgInfo != nullptr) {
    UINT32 info = si->ArgInfo[Index].Attributes;
    if ((info & ARG_IS_QUOTED) != 0 && (info & ARG_PARTIALLY_QUOTED) == 0) return TRUE;
    if ((info & (ARG_FIRST_HALF_QUOTED | ARG_FIRST_CHAR_IS_ESC)) != 0) return TRUE;
  }
  return Arg[0] != u'-' && Arg[0] != u'+' && Arg[0] != u'/' ? TRUE : FALSE;
}

// A new zero-filled node for argument Index, appended at the end of the list.
static ArgNode* AppendNode(ArgNode** Head, UINTN Index) {
  auto* node = static_cast<ArgNode*>(AllocateZeroedPool(sizeof(ArgNode)));
  if (node == nullptr) return nullptr;
  node->ArgIndex = Index;
  while (*Head != nullptr) Head = &(*Head)->Next;
  *Head = node;
  return node;
}

static bool ItemMatches(const FlagCheckItem* Item, const CHAR16* Arg) {
  if (Item->Kind == KindJoinedValue) return LibFlagPrefixMatch(Item->FlagText, Arg);
  return Str16CompareNoCase(Arg, Item->FlagText) == 0;
}

const FlagCheckItem* LibFindFlagItem(const FlagCheckItem* CheckList, const CHAR16* Arg) {
  for (const FlagCheckItem* item = CheckList; item->FlagText != nullptr; ++item) {
    if (ItemMatches(item, Arg)) return item;
  }
  return nullptr;
}

// The accepted flag that Arg repeats, or null.
static const ArgNode* FindDuplicate(const ArgNode* Flags, const FlagCheckItem* Item, const CHAR16* Arg) {
  for (const ArgNode* node = Flags; node != nullptr; node = node->Next) {
    if (node->Name == nullptr) continue;
    bool same =
        Item->Kind == KindJoinedValue ? LibFlagPrefixMatch(node->Name, Arg) : Str16CompareNoCase(Arg, node->Name) == 0;
    if (same) return node;
  }
  return nullptr;
}

// Where the flag walk stands: the argument index advances past a value.
struct FlagWalk {
  const EFI_SHELL_INTERFACE* Shell;
  const FlagCheckItem* CheckList;
  CheckPackage* Package;
  const CHAR16** Useful;
  UINTN Index;
  UINT32 SeenBits;
};

// Fills the node of an accepted flag by the item's kind.
static FlagCheckResult FillFlagNode(FlagWalk* Walk, const FlagCheckItem* Item, ArgNode* Node, const CHAR16* Arg) {
  switch (Item->Kind) {
    case KindSwitch: Node->Name = Arg; return FlagCheckOk;
    case KindNextValue:
      if (Walk->Index >= Walk->Shell->Argc - 1) {
        *Walk->Useful = Arg;
        return FlagCheckNoValue;
      }
      Node->Name = Arg;
      Node->Value = Walk->Shell->Argv[++Walk->Index];
      return FlagCheckOk;
    case KindJoinedValue:
      Node->Name = Item->FlagText;
      Node->Value = Arg + Str16Length(Item->FlagText);
      return FlagCheckOk;
  }
  // A table item of another kind cannot take the argument.
  LIB_CHECK(false, "((BOOLEAN) (0 == 1))");
  *Walk->Useful = Arg;
  return FlagCheckUnknown;
}

static FlagCheckResult TakeFlag(FlagWalk* Walk, const CHAR16* Arg) {
  const FlagCheckItem* item = LibFindFlagItem(Walk->CheckList, Arg);
  if (item == nullptr) {
    *Walk->Useful = Arg;
    return FlagCheckUnknown;
  }
  // Conflicts are judged before duplicates, against the flags to the left.
  if ((item->Excludes & Walk->SeenBits) != 0) {
    *Walk->Useful = Arg;
    return FlagCheckConflict;
  }
  const ArgNode* earlier = FindDuplicate(Walk->Package->Flags, item, Arg);
  if (earlier != nullptr) {
    *Walk->Useful = item->Kind == KindJoinedValue ? earlier->Name : Arg;
    return FlagCheckDuplicate;
  }
  ArgNode* node = AppendNode(&Walk->Package->Flags, Walk->Index);
  if (node == nullptr) return FlagCheckNoMemory;
  FlagCheckResult result = FillFlagNode(Walk, item, node, Arg);
  if (result != FlagCheckOk) return result;
  Walk->SeenBits |= item->Bit;
  ++Walk->Package->FlagCount;
  return FlagCheckOk;
}

static FlagCheckResult TakePlainArgument(FlagWalk* Walk, const CHAR16* Arg) {
  ArgNode* node = AppendNode(&Walk->Package->PlainArgs, Walk->Index);
  if (node == nullptr) return FlagCheckNoMemory;
  node->Value = Arg;
  ++Walk->Package->ArgCount;
  return FlagCheckOk;
}

FlagCheckResult LibCheckFlags(const EFI_SHELL_INTERFACE* si, const FlagCheckItem* CheckList, CheckPackage* ChkPck,
                              const CHAR16** Useful) {
  if (!LIB_CHECK_NOT_NULL(si) || !LIB_CHECK_NOT_NULL(CheckList) || !LIB_CHECK_NOT_NULL(ChkPck) ||
      !LIB_CHECK_NOT_NULL(Useful)) {
    return FlagCheckUnknown;
  }
  ChkPck->FlagCount = 0;
  ChkPck->ArgCount = 0;
  FlagWalk walk = {si, CheckList, ChkPck, Useful, 1, 0};
  for (; walk.Index < si->Argc; ++walk.Index) {
    const CHAR16* arg = si->Argv[walk.Index];
    FlagCheckResult result =
        LibIsPlainArgument(si, walk.Index, arg) ? TakePlainArgument(&walk, arg) : TakeFlag(&walk, arg);
    if (result != FlagCheckOk) return result;
  }
  return FlagCheckOk;
}

ArgNode* LibFindFlag(const CheckPackage* ChkPck, const CHAR16* FlagStr) {
  if (!LIB_CHECK(ChkPck != nullptr, "ChkPck") || !LIB_CHECK(FlagStr != nullptr, "FlagStr")) return nullptr;
  for (ArgNode* node = ChkPck->Flags; node != nullptr; node = node->Next) {
    // A flag that was refused for want of a value has no name.
    if (node->Name != nullptr && Str16CompareNoCase(node->Name, FlagStr) == 0) return node;
  }
  return nullptr;
}

static VOID FreeNodeList(ArgNode** Head) {
  while (*Head != nullptr) {
    ArgNode* node = *Head;
    *Head = node->Next;
    ReleasePool(node);
  }
}

VOID LibFreeCheckPackage(CheckPackage* ChkPck) {
  if (!LIB_CHECK_NOT_NULL(ChkPck)) return;
  FreeNodeList(&ChkPck->Flags);
  FreeNodeList(&ChkPck->PlainArgs);
}

BOOLEAN LibFlagPrefixMatch(const CHAR16* FlagName, const CHAR16* CmdVar) {
  if (!LIB_CHECK(FlagName != nullptr, "FlagName") || !LIB_CHECK(CmdVar != nullptr, "CmdVar")) return FALSE;
  if (Str16Length(CmdVar) < Str16Length(FlagName)) return FALSE;
  while (*FlagName != 0 && *FlagName == *CmdVar) {
    ++FlagName;
    ++CmdVar;
  }
  return *FlagName == 0 ? TRUE : FALSE;
}
