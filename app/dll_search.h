// The program's first act: where DLLs loaded by bare name may come from.
#pragma once

// Any DLL loaded from here on comes from System32 only, never from the program's folder or the current
// directory. Windows 7 has the call only with KB2533623, so it is looked up; without it the current
// directory at least leaves the search.
void LimitDllSearchToSystem32();
