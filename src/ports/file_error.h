#pragma once

namespace fotolyx {

class Shell;

// Result codes of the file routines, handed to ReportFileError.
inline constexpr int FILE_ERROR_READ = 15;       // a read or seek failed
inline constexpr int FILE_ERROR_OPEN = 16;       // the file cannot be opened or created
inline constexpr int FILE_ERROR_WRITE = 18;      // a write failed
inline constexpr int FILE_ERROR_JPEG_WALK = 20;  // a JPEG segment walk ran past its data
inline constexpr int FILE_ERROR_NO_MEMORY = 24;  // no memory for the block
inline constexpr int FILE_ERROR_NOT_BMP = 25;    // the file is not a BMP file we can read
inline constexpr int FILE_ERROR_LOCK = 44;       // no block to work on

// The shared report of the file routines: codes 0 to 46 are silent (the caller decides what
// the user sees); any other code shows "ERROR" with caption "Fotolyx".
void ReportFileError(Shell& shell, int code);

}  // namespace fotolyx
