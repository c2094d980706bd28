// The VB error numbers the system raises and recognises, named after the meaning VB gives
// them. Error carries them; the COM boundary turns them into HRESULT 0x800A0000 + number.
// Portable.
#pragma once

#include <cstdint>

namespace tarvesk {

enum ErrorNumber : int32_t {
  kReturnWithoutGoSub = 3,
  kInvalidProcedureCall = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kSubscriptOutOfRange = 9,
  kDivisionByZero = 11,
  kTypeMismatch = 13,
  kInternalError = 51,
  kBadFileName = 52,
  kFileNotFound = 53,
  kBadFileMode = 54,
  kFileAlreadyOpen = 55,
  kDeviceIOError = 57,
  kDiskFull = 61,
  kInputPastEndOfFile = 62,
  kTooManyFiles = 67,
  kPermissionDenied = 70,
  kDiskNotReady = 71,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
  kObjectNotSet = 91,
  kInvalidUseOfNull = 94,
  kObjectRequired = 424,
  kCannotCreateObject = 429,
  kMemberNotSupported = 438,
  kAutomationError = 440,
  kArgumentNotOptional = 449,
  kWrongArgumentCount = 450,
  kKeyAlreadyAssociated = 457,
};

}  // namespace tarvesk
