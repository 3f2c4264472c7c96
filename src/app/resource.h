#pragma once
// Resource identifiers of Tallybrook.exe.

#define IDI_TALLYBROOK 1
