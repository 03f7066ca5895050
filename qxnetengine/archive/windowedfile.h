#pragma once
// minizip's file functions for reading an archive through a window of its
// own. minizip seeks before nearly every read and searches for the end of an
// archive backwards, 1 KiB at a time; through the C library each of those is
// a system call and often a refilled buffer. Here a seek only moves a
// position, and a read outside the window refills it once, backwards when
// the reader moves backwards.

#include <minizip/ioapi.h>

// The functions for unzOpen2_64; files are opened for reading only.
zlib_filefunc64_def WindowedReadFuncs();
