// Basic UEFI data types, status codes and the calling convention.
//
// These definitions are written for the two 64-bit machines qorvex is built
// for, x86-64 and AArch64: UINTN and pointers are 64 bits wide and 64-bit
// fields are aligned naturally, so every structure has one layout on both.
// The same headers compile for the UEFI images (clang, PE/COFF targets) and
// for the host test library (x86-64 Linux).
#ifndef QORVEX_EFI_TYPES_H
#define QORVEX_EFI_TYPES_H

#include <stddef.h>
#include <stdint.h>

#if defined(__x86_64__)
// x86-64 firmware uses the Microsoft x64 calling convention, which is not the
// host's default, so it is spelled as the attribute that both the image and
// the host compilers understand.
#define EFIAPI __attribute__((ms_abi))
#elif defined(__aarch64__)
// AArch64 firmware uses the standard procedure call standard, every AArch64
// compiler's default.
#define EFIAPI
#else
#error "the UEFI definitions are written for x86-64 and AArch64 only"
#endif

typedef uint8_t UINT8;
typedef uint16_t UINT16;
typedef uint32_t UINT32;
typedef uint64_t UINT64;
typedef int8_t INT8;
typedef int16_t INT16;
typedef int32_t INT32;
typedef int64_t INT64;
typedef uint64_t UINTN;
typedef int64_t INTN;
typedef UINT8 BOOLEAN;
typedef char CHAR8;
typedef char16_t CHAR16;
typedef void VOID;

typedef UINTN EFI_STATUS;
typedef VOID* EFI_HANDLE;
typedef VOID* EFI_EVENT;
typedef UINT64 EFI_PHYSICAL_ADDRESS;
typedef UINT64 EFI_VIRTUAL_ADDRESS;
typedef UINTN EFI_TPL;

constexpr BOOLEAN TRUE = 1;
constexpr BOOLEAN FALSE = 0;

static_assert(sizeof(CHAR16) == 2, "UCS-2 code units are 16 bits");
static_assert(sizeof(UINTN) == sizeof(VOID*), "UINTN is pointer-sized");
static_assert(sizeof(VOID*) == 8, "the images are 64-bit");
static_assert(alignof(UINT64) == 8 && alignof(VOID*) == 8, "64-bit fields align naturally, as UEFI requires");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "UEFI runs its machines little-endian");
static_assert(sizeof(BOOLEAN) == 1, "BOOLEAN is one byte");

// Errors carry the top bit; warnings are small positive values.
constexpr EFI_STATUS EFI_ERROR_BIT = 0x8000000000000000ULL;
constexpr EFI_STATUS EfiErrorCode(UINT64 n) { return EFI_ERROR_BIT | n; }

// True when the status is an error (top bit set). Warnings are not errors.
constexpr bool EFI_ERROR(EFI_STATUS status) { return (status & EFI_ERROR_BIT) != 0; }

constexpr EFI_STATUS EFI_SUCCESS = 0;
constexpr EFI_STATUS EFI_LOAD_ERROR = EfiErrorCode(1);
constexpr EFI_STATUS EFI_INVALID_PARAMETER = EfiErrorCode(2);
constexpr EFI_STATUS EFI_UNSUPPORTED = EfiErrorCode(3);
constexpr EFI_STATUS EFI_BAD_BUFFER_SIZE = EfiErrorCode(4);
constexpr EFI_STATUS EFI_BUFFER_TOO_SMALL = EfiErrorCode(5);
constexpr EFI_STATUS EFI_NOT_READY = EfiErrorCode(6);
constexpr EFI_STATUS EFI_DEVICE_ERROR = EfiErrorCode(7);
constexpr EFI_STATUS EFI_WRITE_PROTECTED = EfiErrorCode(8);
constexpr EFI_STATUS EFI_OUT_OF_RESOURCES = EfiErrorCode(9);
constexpr EFI_STATUS EFI_VOLUME_CORRUPTED = EfiErrorCode(10);
constexpr EFI_STATUS EFI_VOLUME_FULL = EfiErrorCode(11);
constexpr EFI_STATUS EFI_NO_MEDIA = EfiErrorCode(12);
constexpr EFI_STATUS EFI_MEDIA_CHANGED = EfiErrorCode(13);
constexpr EFI_STATUS EFI_NOT_FOUND = EfiErrorCode(14);
constexpr EFI_STATUS EFI_ACCESS_DENIED = EfiErrorCode(15);
constexpr EFI_STATUS EFI_NO_RESPONSE = EfiErrorCode(16);
constexpr EFI_STATUS EFI_NO_MAPPING = EfiErrorCode(17);
constexpr EFI_STATUS EFI_TIMEOUT = EfiErrorCode(18);
constexpr EFI_STATUS EFI_NOT_STARTED = EfiErrorCode(19);
constexpr EFI_STATUS EFI_ALREADY_STARTED = EfiErrorCode(20);
constexpr EFI_STATUS EFI_ABORTED = EfiErrorCode(21);
constexpr EFI_STATUS EFI_ICMP_ERROR = EfiErrorCode(22);
constexpr EFI_STATUS EFI_TFTP_ERROR = EfiErrorCode(23);
constexpr EFI_STATUS EFI_PROTOCOL_ERROR = EfiErrorCode(24);
constexpr EFI_STATUS EFI_INCOMPATIBLE_VERSION = EfiErrorCode(25);
constexpr EFI_STATUS EFI_SECURITY_VIOLATION = EfiErrorCode(26);
constexpr EFI_STATUS EFI_CRC_ERROR = EfiErrorCode(27);
constexpr EFI_STATUS EFI_COMPROMISED_DATA = EfiErrorCode(33);

// Shell-era statuses that also set the bit below the error bit.
constexpr EFI_STATUS EFI_NOT_AVAILABLE_YET = 0xC000000000000000ULL;
constexpr EFI_STATUS EFI_UNLOAD_IMAGE = 0xC000000000000001ULL;

constexpr EFI_STATUS EFI_WARN_UNKNOWN_GLYPH = 1;
constexpr EFI_STATUS EFI_WARN_DELETE_FAILURE = 2;
constexpr EFI_STATUS EFI_WARN_WRITE_FAILURE = 3;
constexpr EFI_STATUS EFI_WARN_BUFFER_TOO_SMALL = 4;
constexpr EFI_STATUS EFI_WARN_RETURN_FROM_LONG_JUMP = 5;

struct EFI_GUID {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
};
static_assert(sizeof(EFI_GUID) == 16, "EFI_GUID is 16 bytes");
static_assert(offsetof(EFI_GUID, Data4) == 8, "EFI_GUID layout");

struct EFI_TIME {
  UINT16 Year;
  UINT8 Month;
  UINT8 Day;
  UINT8 Hour;
  UINT8 Minute;
  UINT8 Second;
  UINT8 Pad1;
  UINT32 Nanosecond;
  INT16 TimeZone;
  UINT8 Daylight;
  UINT8 Pad2;
};
static_assert(sizeof(EFI_TIME) == 16, "EFI_TIME is 16 bytes");
static_assert(offsetof(EFI_TIME, Minute) == 5, "EFI_TIME layout");
static_assert(offsetof(EFI_TIME, Nanosecond) == 8, "EFI_TIME layout");

// Memory types are 32-bit values in every interface that carries one.
enum EFI_MEMORY_TYPE : UINT32 {
  EfiReservedMemoryType = 0,
  EfiLoaderCode = 1,
  EfiLoaderData = 2,
  EfiBootServicesCode = 3,
  EfiBootServicesData = 4,
  EfiRuntimeServicesCode = 5,
  EfiRuntimeServicesData = 6,
  EfiConventionalMemory = 7,
  EfiUnusableMemory = 8,
  EfiACPIReclaimMemory = 9,
  EfiACPIMemoryNVS = 10,
  EfiMemoryMappedIO = 11,
  EfiMemoryMappedIOPortSpace = 12,
  EfiPalCode = 13,
  EfiPersistentMemory = 14,
  EfiMaxMemoryType = 15,
};
static_assert(sizeof(EFI_MEMORY_TYPE) == 4, "memory types are 32-bit");

enum EFI_LOCATE_SEARCH_TYPE : UINT32 {
  AllHandles = 0,
  ByRegisterNotify = 1,
  ByProtocol = 2,
};
static_assert(sizeof(EFI_LOCATE_SEARCH_TYPE) == 4, "search types are 32-bit");

// Attributes of OpenProtocol.
constexpr UINT32 EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL = 0x01;
constexpr UINT32 EFI_OPEN_PROTOCOL_GET_PROTOCOL = 0x02;
constexpr UINT32 EFI_OPEN_PROTOCOL_TEST_PROTOCOL = 0x04;
constexpr UINT32 EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER = 0x08;
constexpr UINT32 EFI_OPEN_PROTOCOL_BY_DRIVER = 0x10;
constexpr UINT32 EFI_OPEN_PROTOCOL_EXCLUSIVE = 0x20;

// Attributes of variables.
constexpr UINT32 EFI_VARIABLE_NON_VOLATILE = 0x1;
constexpr UINT32 EFI_VARIABLE_BOOTSERVICE_ACCESS = 0x2;
constexpr UINT32 EFI_VARIABLE_RUNTIME_ACCESS = 0x4;

struct EFI_TABLE_HEADER {
  UINT64 Signature;
  UINT32 Revision;
  UINT32 HeaderSize;
  UINT32 CRC32;
  UINT32 Reserved;
};
static_assert(sizeof(EFI_TABLE_HEADER) == 24, "table header is 24 bytes");

#endif  // QORVEX_EFI_TYPES_H
