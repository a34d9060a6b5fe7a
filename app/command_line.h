#pragma once
// The command line as the program is started with it, with the program's
// name and the blanks after it skipped. Nothing reads what remains.
const wchar_t* skipProgramName(const wchar_t* commandLine);
