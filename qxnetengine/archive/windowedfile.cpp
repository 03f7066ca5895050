#include "qxnetengine/archive/windowedfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Large enough for the end-of-archive search in two or three fills, small
// enough that reading one item's header costs little.
const size_t kWindow = 32 * 1024;

struct TWindowedFile {
    zlib_filefunc64_def base;  // the C library's functions, which read the file
    voidpf stream = nullptr;
    ZPOS64_T size = 0;
    ZPOS64_T pos = 0;
    ZPOS64_T winStart = 0;
    size_t winLen = 0;
    bool failed = false;
    char window[kWindow];
};

zlib_filefunc64_def BaseFuncs()
{
    zlib_filefunc64_def funcs;
    fill_fopen64_filefunc(&funcs);
    return funcs;
}

voidpf ZCALLBACK Open(voidpf, const void* filename, int mode)
{
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        return nullptr;
    std::unique_ptr<TWindowedFile> f(new (std::nothrow) TWindowedFile);
    if (!f)
        return nullptr;
    f->base = BaseFuncs();
    f->stream = f->base.zopen64_file(nullptr, filename, mode);
    if (!f->stream)
        return nullptr;
    // The window is the buffer: the C library's own would split every fill.
    setvbuf(static_cast<FILE*>(f->stream), nullptr, _IONBF, 0);
    if (f->base.zseek64_file(nullptr, f->stream, 0, ZLIB_FILEFUNC_SEEK_END) != 0) {
        f->base.zclose_file(nullptr, f->stream);
        return nullptr;
    }
    f->size = f->base.ztell64_file(nullptr, f->stream);
    if (f->size == static_cast<ZPOS64_T>(-1)) {
        f->base.zclose_file(nullptr, f->stream);
        return nullptr;
    }
    return f.release();
}

// Reads at most n bytes at at straight from the file.
size_t ReadAt(TWindowedFile* f, ZPOS64_T at, char* out, size_t n)
{
    if (f->base.zseek64_file(nullptr, f->stream, at, ZLIB_FILEFUNC_SEEK_SET) != 0) {
        f->failed = true;
        return 0;
    }
    const size_t got = f->base.zread_file(nullptr, f->stream, out, static_cast<uLong>(n));
    if (got < n && f->base.zerror_file(nullptr, f->stream))
        f->failed = true;
    return got;
}

uLong ZCALLBACK Read(voidpf, voidpf stream, void* buf, uLong size)
{
    TWindowedFile* f = static_cast<TWindowedFile*>(stream);
    char* out = static_cast<char*>(buf);
    uLong done = 0;
    while (done < size && f->pos < f->size) {
        const size_t want = size - done;
        if (f->pos >= f->winStart && f->pos < f->winStart + f->winLen) {
            const size_t at = static_cast<size_t>(f->pos - f->winStart);
            const size_t n = std::min(f->winLen - at, want);
            memcpy(out + done, f->window + at, n);
            done += static_cast<uLong>(n);
            f->pos += n;
            continue;
        }
        if (want >= kWindow) {
            // An item's data: straight into the caller's buffer.
            const size_t n = ReadAt(f, f->pos, out + done, want);
            if (n == 0)
                break;
            done += static_cast<uLong>(n);
            f->pos += n;
            continue;
        }
        ZPOS64_T start = f->pos;
        if (f->winLen && f->pos < f->winStart)
            start = f->pos + want > kWindow ? f->pos + want - kWindow : 0;
        f->winLen = 0;
        const size_t n = ReadAt(f, start, f->window,
                                static_cast<size_t>(std::min<ZPOS64_T>(kWindow, f->size - start)));
        f->winStart = start;
        f->winLen = n;
        if (f->pos >= start + n)
            break;  // the file is shorter than it was, or unreadable
    }
    return done;
}

uLong ZCALLBACK Write(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream) { return static_cast<TWindowedFile*>(stream)->pos; }

long ZCALLBACK Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    TWindowedFile* f = static_cast<TWindowedFile*>(stream);
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: f->pos = offset; return 0;
    case ZLIB_FILEFUNC_SEEK_CUR: f->pos += offset; return 0;
    case ZLIB_FILEFUNC_SEEK_END: f->pos = f->size + offset; return 0;
    default: return -1;
    }
}

int ZCALLBACK Close(voidpf, voidpf stream)
{
    TWindowedFile* f = static_cast<TWindowedFile*>(stream);
    const int rc = f->base.zclose_file(nullptr, f->stream);
    delete f;
    return rc;
}

int ZCALLBACK Error(voidpf, voidpf stream)
{
    TWindowedFile* f = static_cast<TWindowedFile*>(stream);
    return f->failed ? 1 : 0;
}

}  // namespace

zlib_filefunc64_def WindowedReadFuncs()
{
    zlib_filefunc64_def funcs;
    funcs.zopen64_file = Open;
    funcs.zread_file = Read;
    funcs.zwrite_file = Write;
    funcs.ztell64_file = Tell;
    funcs.zseek64_file = Seek;
    funcs.zclose_file = Close;
    funcs.zerror_file = Error;
    funcs.opaque = nullptr;
    return funcs;
}
