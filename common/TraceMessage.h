#pragma once

// Debug trace of a deliverable.
//
// Each deliverable carries its own instance (hidden in it; added with suite_add_trace in CMake),
// built with that deliverable's switches. A line goes to the viewer window titled
// "ZarorArided " if one runs and, in the members with a log file, to the executable's ".log"
// file with a time stamp (beside the executable, or in the user's data folder when the program
// folder is not the user's to write; see platform/UserFiles.h). Any thread may call it;
// callers ignore the result (1, or 0 from the viewer-only members when no viewer window
// exists).

__attribute__((visibility("hidden"), format(printf, 1, 2))) int TraceMessage(const char* format,
                                                                              ...);
