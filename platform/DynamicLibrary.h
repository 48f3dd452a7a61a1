// Shared libraries loaded at run time.
#pragma once

namespace platform {

// Loads a shared library by file name through the ordinary library search (the calling
// program's RUNPATH first, then the system's folders). Null when it cannot be loaded.
void* LoadSharedLibrary(const char* fileName);

// The address of an exported name, or null when the library lacks it.
void* FindLibrarySymbol(void* library, const char* name);

// Unloads a library that LoadSharedLibrary gave; null is ignored.
void FreeSharedLibrary(void* library);

}  // namespace platform
