#include "IO.h"

#include "Globals.h"
#include "Mem.h"
#include "Misc.h"
#include "Str.h"
#include "ipf/math.h"

static const CHAR8 kLibSource[] = "Shell/Library/IO";

static const UINTN kAllOnes = ~UINTN(0);

// The field scratch holds 100 characters; the chunk buffer 1024, of which the
// first two keep the end of the previous chunk and the last the terminator.
static const UINTN kScratchChars = 100;
static const UINTN kChunkChars = 1024;
static const UINTN kChunkFirst = 2;

static const CHAR8 kNullText8[] = "(null)";
static const CHAR16 kNullText16[] = u"(null)";

// ---- Reading text ----

static CHAR16 CharAt(BOOLEAN Text8, const VOID* Text, UINTN Index) {
  if (Text8) return CHAR16(static_cast<const UINT8*>(Text)[Index]);
  return static_cast<const CHAR16*>(Text)[Index];
}

// The next-character step, for the format and for a field's text alike.
static CHAR16 NextChar(BOOLEAN Text8, UINTN* Index, const VOID* p) {
  if (!LIB_CHECK_NOT_NULL(p)) return 0;
  CHAR16 c = CharAt(Text8, p, *Index);
  *Index += 1;
  return c;
}

static CHAR16 NextFormatChar(FormatState* ps) { return NextChar(ps->Format8, &ps->FormatIndex, ps->Format); }

static UINT64 TakeArg(FormatState* ps) {
  if (ps->Args == nullptr) return 0;
  return *ps->Args++;
}

// ---- Output ----

static VOID Flush(FormatState* ps) {
  *ps->ChunkPos = 0;
  if (ps->Write != nullptr) ps->Write(ps->Target, ps->ChunkStart);
  // Keep the end of this chunk in front of the next one, so that the
  // line-feed rule sees the character before a line feed across flushes.
  ps->ChunkStart[-2] = ps->ChunkPos[-2];
  ps->ChunkStart[-1] = ps->ChunkPos[-1];
  ps->ChunkPos = ps->ChunkStart;
}

static VOID PutChar(FormatState* ps, CHAR16 c) {
  if (c == u'\n' && ps->ChunkPos[-1] != u'\r') PutChar(ps, u'\r');
  *ps->ChunkPos++ = c;
  ps->Count += 1;
  if (ps->ChunkPos == ps->ChunkLimit) Flush(ps);
}

static VOID PutRepeated(FormatState* ps, CHAR16 c, UINTN Times) {
  for (UINTN i = 0; i < Times; ++i) PutChar(ps, c);
}

// Delivers the text so far in the old attribute, then switches. The old
// attribute is kept for the restore after the field.
static VOID ChangeAttribute(FormatState* ps, UINTN Attribute) {
  Flush(ps);
  ps->SavedAttribute = ps->Attribute;
  if (ps->ChangeAttr != nullptr) ps->ChangeAttr(ps->Target, Attribute);
  ps->Attribute = Attribute;
}

static VOID RestoreSavedAttribute(FormatState* ps) {
  if (ps->SavedAttribute == 0) return;
  ChangeAttribute(ps, ps->SavedAttribute);
  ps->SavedAttribute = 0;
}

// ---- Number text ----

VOID LibHexText(CHAR16* Buffer, UINT64 Value) {
  static const CHAR8 kDigits[] = "0123456789ABCDEF";
  CHAR16 reversed[16];
  UINTN count = 0;
  do {
    reversed[count++] = CHAR16(kDigits[Value & 0xF]);
    Value = ShiftRight64(Value, 4);
  } while (Value != 0);
  for (UINTN i = 0; i < count; ++i) Buffer[i] = reversed[count - 1 - i];
  Buffer[count] = 0;
}

VOID LibDecimalText(CHAR16* Buffer, BOOLEAN Grouping, INT64 Value) {
  // The negation is taken as unsigned, so the most negative value has one.
  UINT64 magnitude = Value < 0 ? UINT64(0) - UINT64(Value) : UINT64(Value);
  CHAR16 reversed[20];
  UINTN count = 0;
  do {
    UINT64 digit = 0;
    magnitude = DivideU64(magnitude, 10, &digit);
    reversed[count++] = CHAR16(u'0' + digit);
  } while (magnitude != 0);
  UINTN at = 0;
  if (Value < 0) Buffer[at++] = u'-';
  // i counts the digits still to come after this one.
  for (UINTN i = count; i-- > 0;) {
    Buffer[at++] = reversed[i];
    if (Grouping && i != 0 && i % 3 == 0) Buffer[at++] = u',';
  }
  Buffer[at] = 0;
}

// ---- Fields ----

static VOID ResetField(FormatState* ps) {
  FormatField* field = ps->Field;
  field->Text8 = FALSE;
  field->TextIndex = 0;
  field->Text = nullptr;
  field->MinWidth = 0;
  field->MaxWidth = kAllOnes;
  field->WidthTarget = &field->MinWidth;
  field->PadChar = u' ';
  field->PadLeading = TRUE;
  field->Grouping = FALSE;
  field->LongFlag = FALSE;
  field->Signed = FALSE;
  ps->SavedAttribute = 0;
}

// Characters of the field text before its NUL, but at most MaxWidth.
static UINTN FieldLength(const FormatField* field) {
  UINTN length = 0;
  while (length < field->MaxWidth && CharAt(field->Text8, field->Text, length) != 0) ++length;
  return length;
}

static VOID EmitField(FormatState* ps) {
  FormatField* field = ps->Field;
  UINTN length = FieldLength(field);
  if (field->MaxWidth == kAllOnes) field->MaxWidth = length;
  if (length > field->MinWidth) field->MinWidth = length;
  UINTN spaces = field->MaxWidth > field->MinWidth ? field->MaxWidth - field->MinWidth : 0;
  if (field->PadLeading) PutRepeated(ps, u' ', spaces);
  field->TextIndex = 0;
  // A negative number padded with zeros keeps its sign in front (-0042);
  // a '-' character or text is padded like any other.
  if (field->PadChar == u'0' && field->Signed && length != 0 && field->Scratch[0] == u'-') {
    PutChar(ps, NextChar(field->Text8, &field->TextIndex, field->Text));
  }
  PutRepeated(ps, field->PadChar, field->MinWidth - length);
  while (field->TextIndex < length) PutChar(ps, NextChar(field->Text8, &field->TextIndex, field->Text));
  if (!field->PadLeading) PutRepeated(ps, u' ', spaces);
}

// ---- Directives ----

// What a directive character did: set a flag (the directive goes on),
// produced the field text, or ended the directive without a field.
enum class DirectiveStep { Flag, Field, Ended };

static DirectiveStep ScratchText(FormatState* ps) {
  ps->Field->Text = ps->Field->Scratch;
  return DirectiveStep::Field;
}

static DirectiveStep PercentField(FormatState* ps) {
  ps->Field->Scratch[0] = u'%';
  ps->Field->Scratch[1] = 0;
  return ScratchText(ps);
}

static DirectiveStep UnknownField(FormatState* ps) {
  ps->Field->Scratch[0] = u'?';
  ps->Field->Scratch[1] = 0;
  return ScratchText(ps);
}

static DirectiveStep String8Field(FormatState* ps) {
  auto* text = reinterpret_cast<const CHAR8*>(UINTN(TakeArg(ps)));
  ps->Field->Text8 = TRUE;
  ps->Field->Text = text != nullptr ? text : kNullText8;
  ps->Field->PadLeading = FALSE;
  return DirectiveStep::Field;
}

static DirectiveStep String16Field(FormatState* ps) {
  auto* text = reinterpret_cast<const CHAR16*>(UINTN(TakeArg(ps)));
  ps->Field->Text = text != nullptr ? text : kNullText16;
  ps->Field->PadLeading = FALSE;
  return DirectiveStep::Field;
}

static DirectiveStep CharField(FormatState* ps) {
  ps->Field->Scratch[0] = CHAR16(TakeArg(ps));
  ps->Field->Scratch[1] = 0;
  return ScratchText(ps);
}

static DirectiveStep DecimalField(FormatState* ps) {
  LibDecimalText(ps->Field->Scratch, ps->Field->Grouping, INT64(TakeArg(ps)));
  ps->Field->Signed = TRUE;
  return ScratchText(ps);
}

static DirectiveStep HexField(FormatState* ps) {
  LibHexText(ps->Field->Scratch, TakeArg(ps));
  return ScratchText(ps);
}

static DirectiveStep PaddedHexField(FormatState* ps) {
  ps->Field->PadChar = u'0';
  ps->Field->MinWidth = ps->Field->LongFlag ? 16 : 8;
  return HexField(ps);
}

// The texts of g, r and t are made by nested buffer runs; a nested run that
// cannot allocate leaves an empty text, not the previous field's.
static DirectiveStep GuidField(FormatState* ps) {
  auto* guid = reinterpret_cast<const EFI_GUID*>(UINTN(TakeArg(ps)));
  if (guid == nullptr) {
    ps->Field->Text = kNullText16;
    return DirectiveStep::Field;
  }
  LibGuidTextBounded(ps->Field->Scratch, kScratchChars * sizeof(CHAR16), guid);
  return ScratchText(ps);
}

static DirectiveStep StatusField(FormatState* ps) {
  LibStatusText(ps->Field->Scratch, EFI_STATUS(TakeArg(ps)));
  return ScratchText(ps);
}

static DirectiveStep TimeField(FormatState* ps) {
  auto* time = reinterpret_cast<const EFI_TIME*>(UINTN(TakeArg(ps)));
  if (time == nullptr) {
    ps->Field->Text = kNullText16;
    return DirectiveStep::Field;
  }
  LibTimeText(ps->Field->Scratch, time);
  return ScratchText(ps);
}

static DirectiveStep LongFlag(FormatState* ps) {
  ps->Field->LongFlag = TRUE;
  return DirectiveStep::Flag;
}

static DirectiveStep ZeroPadFlag(FormatState* ps) {
  ps->Field->PadChar = u'0';
  return DirectiveStep::Flag;
}

static DirectiveStep TrailingSpacesFlag(FormatState* ps) {
  ps->Field->PadLeading = FALSE;
  return DirectiveStep::Flag;
}

static DirectiveStep GroupingFlag(FormatState* ps) {
  ps->Field->Grouping = TRUE;
  return DirectiveStep::Flag;
}

static DirectiveStep MaxWidthFlag(FormatState* ps) {
  ps->Field->WidthTarget = &ps->Field->MaxWidth;
  return DirectiveStep::Flag;
}

static DirectiveStep WidthArgFlag(FormatState* ps) {
  *ps->Field->WidthTarget = UINTN(TakeArg(ps));
  return DirectiveStep::Flag;
}

struct DirectiveEntry {
  CHAR16 Char;
  DirectiveStep (*Take)(FormatState* ps);
};

static const DirectiveEntry kDirectives[] = {
    {u'%', PercentField},       {u'a', String8Field}, {u's', String16Field},  {u'c', CharField},
    {u'd', DecimalField},       {u'x', HexField},     {u'X', PaddedHexField}, {u'g', GuidField},
    {u'r', StatusField},        {u't', TimeField},    {u'l', LongFlag},       {u'0', ZeroPadFlag},
    {u'-', TrailingSpacesFlag}, {u',', GroupingFlag}, {u'.', MaxWidthFlag},   {u'*', WidthArgFlag},
};

// The attribute letters: the switch (uppercase) and the flag for one field
// (lowercase) of each attribute value.
struct AttributeEntry {
  CHAR16 Switch;
  CHAR16 ForField;
  UINTN FormatState::*Value;
};

static const AttributeEntry kAttributes[] = {
    {u'N', u'n', &FormatState::NormalAttr}, {u'H', u'h', &FormatState::HighlightAttr},
    {u'E', u'e', &FormatState::ErrorAttr},  {u'B', u'b', &FormatState::BlueAttr},
    {u'V', u'v', &FormatState::GreenAttr},
};

// An attribute letter, or Flag with *Handled FALSE when c is none.
static DirectiveStep TakeAttributeChar(FormatState* ps, CHAR16 c, BOOLEAN* Handled) {
  *Handled = TRUE;
  for (const AttributeEntry& entry : kAttributes) {
    UINTN value = ps->*entry.Value;
    if (c == entry.ForField) {
      ChangeAttribute(ps, value);
      return DirectiveStep::Flag;
    }
    if (c != entry.Switch) continue;
    // A target without attributes passes the switch over.
    if (value == 0) return DirectiveStep::Flag;
    ChangeAttribute(ps, value);
    ps->SavedAttribute = 0;
    return DirectiveStep::Ended;
  }
  *Handled = FALSE;
  return DirectiveStep::Flag;
}

static DirectiveStep TakeDirectiveChar(FormatState* ps, CHAR16 c) {
  for (const DirectiveEntry& entry : kDirectives) {
    if (entry.Char == c) return entry.Take(ps);
  }
  BOOLEAN handled = FALSE;
  DirectiveStep step = TakeAttributeChar(ps, c, &handled);
  return handled ? step : UnknownField(ps);
}

static bool IsDigit(CHAR16 c) { return c >= u'0' && c <= u'9'; }

// Reads a width that starts with First (1 to 9) into the width WidthTarget
// names. Returns the first character after the number.
static CHAR16 TakeWidth(FormatState* ps, CHAR16 First) {
  UINTN width = First - u'0';
  CHAR16 c = NextFormatChar(ps);
  for (; IsDigit(c); c = NextFormatChar(ps)) width = width * 10 + (c - u'0');
  *ps->Field->WidthTarget = width;
  return c;
}

// One directive after its '%'. Returns FALSE when the format ended inside it.
static bool RunDirective(FormatState* ps) {
  ResetField(ps);
  CHAR16 c = NextFormatChar(ps);
  for (;;) {
    if (c >= u'1' && c <= u'9') c = TakeWidth(ps, c);
    if (c == 0) {
      // A format cut short after a field flag (%h) still gets the attribute back.
      RestoreSavedAttribute(ps);
      return false;
    }
    DirectiveStep step = TakeDirectiveChar(ps, c);
    if (step == DirectiveStep::Ended) return true;
    if (step == DirectiveStep::Field) break;
    c = NextFormatChar(ps);
  }
  EmitField(ps);
  RestoreSavedAttribute(ps);
  return true;
}

// ---- The run ----

static VOID RunFormat(FormatState* ps) {
  for (;;) {
    CHAR16 c = NextFormatChar(ps);
    if (c == 0) return;
    if (c != u'%') {
      PutChar(ps, c);
      continue;
    }
    if (!RunDirective(ps)) return;
  }
}

UINTN LibFormatRun(FormatState* ps) {
  if (!LIB_CHECK_NOT_NULL(ps)) return 0;
  FormatField field = {};
  field.Scratch = static_cast<CHAR16*>(AllocateZeroedPool(kScratchChars * sizeof(CHAR16)));
  if (field.Scratch == nullptr) return EFI_OUT_OF_RESOURCES;
  CHAR16* chunk = static_cast<CHAR16*>(AllocateZeroedPool(kChunkChars * sizeof(CHAR16)));
  if (chunk == nullptr) {
    ReleasePool(field.Scratch);
    return EFI_OUT_OF_RESOURCES;
  }
  ps->Field = &field;
  ps->Count = 0;
  ps->FormatIndex = 0;
  ps->ChunkStart = ps->ChunkPos = chunk + kChunkFirst;
  ps->ChunkLimit = chunk + kChunkChars - 1;
  RunFormat(ps);
  Flush(ps);
  ps->Field = nullptr;
  ReleasePool(field.Scratch);
  ReleasePool(chunk);
  return ps->Count;
}

// ---- Buffer target ----

EFI_STATUS BufferSinkWrite(VOID* Context, const CHAR16* Buffer) {
  if (!LIB_CHECK_NOT_NULL(Context) || !LIB_CHECK_NOT_NULL(Buffer)) return EFI_INVALID_PARAMETER;
  TextSink* sink = static_cast<TextSink*>(Context);
  UINTN n = Str16Length(Buffer);
  if (sink->Length + n > sink->Capacity) n = sink->Capacity - sink->Length;
  MoveMem(sink->Text + sink->Length, Buffer, n * sizeof(CHAR16));
  sink->Length += n;
  // Text[Capacity] is inside the buffer also when the capacity is 0 (a
  // buffer of one character), so a full buffer is always terminated.
  sink->Text[sink->Length < sink->Capacity ? sink->Length : sink->Capacity] = 0;
  return EFI_SUCCESS;
}

// A run into a buffer target: no attributes, so the attribute letters of
// the format change nothing.
static VOID RunIntoBuffer(BOOLEAN Format8, const VOID* Format, const UINT64* Args, FormatWriteRoutine Write,
                          VOID* Sink) {
  FormatState state = {};
  state.Format8 = Format8;
  state.Format = Format;
  state.Args = Args;
  state.Write = Write;
  state.Target = Sink;
  LibFormatRun(&state);
}

UINTN LibFormatToBufferV(CHAR16* Str, UINTN StrSize, const CHAR16* Format, const UINT64* Args) {
  TextSink sink = {Str, 0, StrSize / sizeof(CHAR16) - 1};
  RunIntoBuffer(FALSE, Format, Args, BufferSinkWrite, &sink);
  return sink.Length;
}

// ---- Console targets ----

static EFI_STATUS ConsoleWrite(VOID* Target, const CHAR16* Chunk) {
  auto* out = static_cast<EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*>(Target);
  return out->OutputString(out, Chunk);
}

static EFI_STATUS ConsoleChangeAttr(VOID* Target, UINTN Attribute) {
  auto* out = static_cast<EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*>(Target);
  return out->SetAttribute(out, Attribute);
}

// The debug report's write routine: there may be no console at all.
static EFI_STATUS ReportSinkWrite(VOID* Context, const CHAR16* Buffer) {
  if (!LIB_CHECK_NOT_NULL(Buffer)) return EFI_INVALID_PARAMETER;
  if (Context == nullptr) return EFI_SUCCESS;
  return ConsoleWrite(Context, Buffer);
}

static UINTN ModeAttribute(const EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Out) { return UINTN(INTN(Out->Mode->Attribute)); }

// The five attribute values on the background of Attribute; Normal is the
// foreground of the normal attribute.
static VOID SetAttributeValues(FormatState* ps, UINTN Attribute, UINTN Normal) {
  UINTN background = ((Attribute >> 4) & 0x0F) << 4;
  ps->NormalAttr = background + Normal;
  ps->HighlightAttr = background + EFI_WHITE;
  ps->ErrorAttr = background + EFI_YELLOW;
  ps->BlueAttr = background + EFI_LIGHTBLUE;
  ps->GreenAttr = background + EFI_LIGHTGREEN;
}

// A console's normal text: the complement of its background colour, so that
// it stays readable on a light background.
static UINTN ConsoleNormalForeground(UINTN Attribute) { return ~(Attribute >> 4) & 0x07; }

UINTN LibPrintTo(UINTN Column, UINTN Row, EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Out, const CHAR16* Format,
                 const CHAR8* AsciiFormat, const UINT64* Args) {
  if (!LIB_CHECK(Out != nullptr, "((void *) 0) != Out")) return 0;
  if (!LIB_CHECK(Out->Mode != nullptr, "((void *) 0) != Out->Mode")) return 0;
  FormatState state = {};
  state.Write = ConsoleWrite;
  state.ChangeAttr = ConsoleChangeAttr;
  state.Target = Out;
  state.Attribute = ModeAttribute(Out);
  SetAttributeValues(&state, state.Attribute, ConsoleNormalForeground(state.Attribute));
  state.Format8 = Format == nullptr;
  state.Format = Format != nullptr ? static_cast<const VOID*>(Format) : AsciiFormat;
  state.Args = Args;
  if (Column != kAllOnes) Out->SetCursorPosition(Out, Column, Row);
  return LibFormatRun(&state);
}

UINTN LibPrintConsoleV(const CHAR16* Format, const UINT64* Args) {
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = LibSystemTable != nullptr ? LibSystemTable->ConOut : nullptr;
  return LibPrintTo(kAllOnes, kAllOnes, out, Format, nullptr, Args);
}

// ---- Debug reports ----

// The report classes that "EFIDebug" enables: its first 8 bytes, little
// endian (a shorter value is zero-extended), or errors only when it is absent.
static UINT64 EnabledDebugMask() {
  UINTN size = 0;
  auto* value = static_cast<const UINT8*>(LibReadVariable(u"EFIDebug", &gEfiDebugMaskVariableGuid, &size));
  if (value == nullptr) return kDebugError;
  UINT64 mask = 0;
  for (UINTN i = 0; i < 8 && i < size; ++i) mask |= UINT64(value[i]) << (8 * i);
  ReleasePool(const_cast<UINT8*>(value));
  return mask;
}

static UINTN ReportAttribute(const FormatState* ps, UINTN Mask) {
  if ((Mask & kDebugError) != 0) return ps->ErrorAttr;
  if ((Mask & 0x2) != 0) return ps->HighlightAttr;
  return ps->NormalAttr;
}

static VOID WriteReport(UINTN Mask, const CHAR8* AsciiFormat, const UINT64* Args) {
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = LibSystemTable->StdErr;
  if (out == nullptr) out = LibSystemTable->ConOut;
  FormatState state = {};
  state.Write = ReportSinkWrite;
  state.Target = out;
  state.Format8 = TRUE;
  state.Format = AsciiFormat;
  state.Args = Args;
  UINTN starting = 0;
  if (out != nullptr && out->Mode != nullptr && out->SetAttribute != nullptr) {
    starting = ModeAttribute(out);
    state.Attribute = starting;
    state.ChangeAttr = ConsoleChangeAttr;
    SetAttributeValues(&state, starting, EFI_LIGHTGRAY);
    state.Attribute = ReportAttribute(&state, Mask);
    state.ChangeAttr(out, state.Attribute);
  }
  LibFormatRun(&state);
  if (state.ChangeAttr != nullptr) state.ChangeAttr(out, starting);
}

UINTN LibDebugReportV(UINTN Mask, const CHAR8* AsciiFormat, const UINT64* Args) {
  if (LibSystemTable == nullptr || LibRuntimeServices == nullptr) return 0;
  VOID (*poolFailure)(EFI_STATUS) = LibPoolFailureHook;
  LibPoolFailureHook = nullptr;
  if ((Mask & EnabledDebugMask()) != 0) WriteReport(Mask, AsciiFormat, Args);
  LibPoolFailureHook = poolFailure;
  return 0;
}

VOID LibDebugReportPoolFailure(EFI_STATUS Status) {
  LibDebugReport(kDebugError, "AllocatePool: out of pool  %x\n", Status);
}

// ---- 8-bit buffer target ----

// The 8-bit buffer target of LibFormatAscii: the low byte of each character,
// as many as fit, always terminated.
struct NarrowSink {
  CHAR8* Text;
  UINTN Length;
  UINTN Capacity;  // bytes before the terminator
};

static EFI_STATUS NarrowSinkWrite(VOID* Context, const CHAR16* Buffer) {
  if (!LIB_CHECK_NOT_NULL(Context) || !LIB_CHECK_NOT_NULL(Buffer)) return EFI_INVALID_PARAMETER;
  NarrowSink* sink = static_cast<NarrowSink*>(Context);
  for (; *Buffer != 0 && sink->Length < sink->Capacity; ++Buffer) {
    sink->Text[sink->Length++] = CHAR8(*Buffer & 0xFF);
  }
  sink->Text[sink->Length] = 0;
  return EFI_SUCCESS;
}

// The format is run as 8-bit text and narrowed straight into Buffer, so the
// only bound on the result is the caller's buffer: a VKF record that grows
// (each line feed of a value becomes CR LF) is never cut short of it.
UINTN LibFormatAsciiV(CHAR8* Buffer, UINTN Size, const CHAR8* AsciiFormat, const UINT64* Args) {
  if (Size == 0) return 0;
  NarrowSink sink = {Buffer, 0, Size - 1};
  Buffer[0] = 0;
  if (AsciiFormat == nullptr) return 0;
  RunIntoBuffer(TRUE, AsciiFormat, Args, NarrowSinkWrite, &sink);
  return sink.Length;
}
