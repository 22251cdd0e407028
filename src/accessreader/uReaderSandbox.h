#pragma once

// The reader's system call filter: from here on the process may read and seek in the
// files it already has open, write its answer to answerFd and messages to its standard
// output and error, manage its memory and end. Anything else ends it (SIGSYS). False when the filter could not be installed
// (built without libseccomp, or a kernel without seccomp): the process limits the
// program set before the reader started still hold.
bool InstallReaderSandbox(int answerFd);
