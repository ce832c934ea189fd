#pragma once

// Entry points of the two worker threads, for _beginthreadex. The parameter (the dialog) is unused.
unsigned __stdcall DownloadThreadProc(void* parameter);
unsigned __stdcall StatusAnimatorThreadProc(void* parameter);
