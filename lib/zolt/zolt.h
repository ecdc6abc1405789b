// The ZOLT image library: the image record, the data-type table, creation and
// release, pixel access and type conversion, windows and slices, the ZOLT file
// reader and writer, file-name expansion and the library's error reporting.
//
// Plain procedural calls over ZoltHeader pointers: results are pointers (null on
// failure) or integer statuses. Every failure sets ZoltErrorCode and reports
// through Zoltext or one of its two companions. Not thread-safe.
#ifndef ZOLT_ZOLT_H
#define ZOLT_ZOLT_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------- the record

// One dimension of an image: 64 bytes, in memory exactly as in a file.
struct ZoltDimHeader {
    int32_t dimlen;      // samples along this dimension
    int32_t dimnum;      // 1 columns (fastest varying), 2 rows, 3 frames
    char dimdir[8];      // "fwd"
    char dimunits[8];    // "pixels"
    float dimscale;
    float dimoffset;
    char dimres[32];
};
static_assert(sizeof(ZoltDimHeader) == 64, "dimension sub-header is 64 bytes");

// Most dimensions an image may have in this version of the library.
constexpr int ZOLT_MAXDIM = 3;

// The image record. The fixed part mirrors the 256-byte file header (the writer
// packs it field by field); the dimension sub-headers follow it in the same
// zero-filled block of olthdrblk x 512 bytes.
struct ZoltHeader {
    char oltmagic[4];        // "ZOL" (or the older "OLT") plus NUL
    int32_t oltblksz;        // 512
    int32_t oltres1;
    int32_t olthdrblk;       // header length in 512-byte blocks
    int32_t oltfileblk;      // -(data blocks + header blocks)
    int32_t olttaillen;      // bytes of user tail
    unsigned char *olttail;  // user tail, owned
    char oltnote1[8];
    char oltnote2[8];
    char oltauthor[32];
    char oltdate[32];
    char oltprog[32];
    char oltver[8];
    unsigned char oltmach;   // machine type code of the data's writer (2 here)
    unsigned char oltres2;   // 16
    char oltres3[38];
    char oltunits[16];
    float oltscale;
    float oltoffset;
    char oltdt[16];          // canonical data type name
    uint32_t dtype;          // data type code
    int32_t oltesize;        // bytes per element
    int32_t oltndim;         // 1 to 3
    void *oltptr;            // pixel data, owned
    int32_t *oltdln;         // strides {1, X, X*Y, X*Y*Z}, owned
    char oltres4[8];
    char oltres5[3];
    unsigned char oltcomp;   // 1: data is (to be) stored zlib-compressed
    ZoltDimHeader oltdim[ZOLT_MAXDIM];  // in the order created or read
};
static_assert(sizeof(ZoltHeader) <= 512, "header and sub-headers fit one block");

// One row of the data-type table. A row of code 0 is an alias of the next
// row below it whose code is not 0.
struct ZoltTypeEntry {
    const char *name;
    int esize;
    uint32_t code;
};

// Data type codes.
enum : uint32_t {
    ZOLT_S8 = 0x101,
    ZOLT_U8 = 0x401,
    ZOLT_S16 = 0x102,
    ZOLT_U16 = 0x402,
    ZOLT_S32 = 0x104,
    ZOLT_F32 = 0x204,
    ZOLT_F64 = 0x208,
    ZOLT_C32 = 0x1204,
    ZOLT_C64 = 0x1208,
    ZOLT_SU8_3 = 0x411,
    ZOLT_S8_3 = 0x111,
    ZOLT_SU8_4 = 0x421,
    ZOLT_S8_4 = 0x121,
    ZOLT_SU16_3 = 0x412,
    ZOLT_S16_3 = 0x112,
    ZOLT_SU16_4 = 0x422,
    ZOLT_S16_4 = 0x122,
    ZOLT_S32_3 = 0x114,
    ZOLT_S32_4 = 0x124,
    ZOLT_SF32_3 = 0x214,
    ZOLT_SF32_4 = 0x224,
    ZOLT_SF64_3 = 0x19,
    ZOLT_SF64_4 = 0x29,
    ZOLT_STRUCT = 0x2000,
};

// Machine type code of this platform (little-endian).
constexpr unsigned char ZOLT_NATIVE_MACH = 2;

// Error codes.
enum : int {
    ZOLT_ENULL = 8,        // null header, file or array pointer
    ZOLT_ECOMPMEM = 9,     // no memory for the compression buffer
    ZOLT_EHEADER = 24,     // bad or inconsistent header
    ZOLT_EOPEN = 64,       // a file could not be opened
    ZOLT_EFILENAME = 256,  // bad file name or failed expansion
    ZOLT_EIO = 448,        // I/O error or early end of file
    ZOLT_ENOMEM = 512,     // out of memory
    ZOLT_ETYPE = 1024,     // unknown or illegal data type
    ZOLT_EWINDOW = 4096,   // window outside the image
    ZOLT_EDIM = 8192,      // illegal number of dimensions or dimension index
};

// ---------------------------------------------------------- library state

// The error state belongs to the calling thread: a thread that starts with
// the library sees code 0, mode 8 and depth 0, whatever other threads do.
// Each thread has its own; the names read and assign like plain variables.
// (They are reached through functions: the sanitizers misjudge a
// thread-local variable that is used outside the file defining it.)
int &ZoltErrorCodeOfThread();
int &ZoltErrorModeOfThread();
int &ZoltDepthOfThread();
#define ZoltErrorCode (ZoltErrorCodeOfThread())  // last error code
#define ZoltErrorMode (ZoltErrorModeOfThread())  // 1 silent, 8 report and return, 64 report and exit
#define ZoltDepth (ZoltDepthOfThread())          // nesting counter of library entry points
// Settings for the whole process, set before threads use the library.
extern int ZoltVerbose;      // non-zero: reports add the error-code lines
extern int ZoltCheckAccess;  // non-zero: pixel access validates the header
extern unsigned char ZoltNativeMach;  // this platform's oltmach, set to 2
// Non-zero (the default): routines print their progress lines on standard
// output; zero keeps them quiet. Any thread may change it at any time.
extern std::atomic<int> ZoltChatter;

// Replaceable allocator hooks (calloc, realloc and free by default).
extern void *(*ZoltCallocHook)(size_t count, size_t size);
extern void *(*ZoltReallocHook)(void *ptr, size_t size);
extern void (*ZoltFreeHook)(void *ptr);

// Keeps ZoltDepth for one library entry point: up on entry, down on every return.
struct ZoltDepthGuard {
    ZoltDepthGuard() { ++ZoltDepth; }
    ~ZoltDepthGuard() { --ZoltDepth; }
    ZoltDepthGuard(const ZoltDepthGuard &) = delete;
    ZoltDepthGuard &operator=(const ZoltDepthGuard &) = delete;
};

// ------------------------------------------------------- error reporting

// The error report: "\n%s\n" on stderr plus the code lines when verbose;
// mode 64 ends the process when the failure came from a top-level call.
int Zoltext(const char *message);
// Warning report: the same lines, never ends the process, ZoltDepth untouched.
int Zoltwarn(const char *message);
// Short report of the pixel access calls and the reader's null checks:
// "%s\n" unless silent; mode 64 ends the process with the code.
int Zoltshort(const char *message);
// The text of the calling thread's last report (empty before any), whether
// or not the error mode let it be printed.
const char *ZoltLastMessage();
// A progress line on standard output, printf-style, when ZoltChatter is on;
// returns what printf returns, or 0 when quiet.
int Zoltsay(const char *format, ...) __attribute__((format(printf, 1, 2)));

// ----------------------------------------------- creation, types, memory

ZoltHeader *Zoltcreate(const char *type, const int *dims, int flags, int structsize);
int Zoltfree(ZoltHeader *h, int flags);
unsigned Zoltdimen(const ZoltHeader *h, int n);
int *Zoltsiz(const ZoltHeader *h);
int *Zolt_ao(const ZoltHeader *h);
int Zoltchkhd(const ZoltHeader *h, const char *message);
const ZoltTypeEntry *Zoltfindtype(const char *name);
// The whole table, aliases included, and its row count.
const ZoltTypeEntry *ZoltTypeTable(int *rows);
// The canonical row of a type code, or null.
const ZoltTypeEntry *Zoltfindcode(uint32_t code);
// True for the nine single-channel codes, the types of the 2-D access calls.
bool Zoltplaintype(uint32_t code);
// True for the types the 3-D access calls read and write: the single-channel
// codes and their interleaved channel forms ("struct" and unknown codes not).
bool Zoltaccesstype(uint32_t code);
// True when the header's type name, type code and element size agree with one
// row of the table ("struct" takes any element size of at least 1). Sets no
// error code.
bool Zolttypeok(const ZoltHeader *h);
void *Zoltalc(size_t bytes);
// The most an allocation may take: ZOLT_MAX_IMAGE_BYTES (bytes) when it is
// set, else the physical memory available now.
size_t Zoltmemlimit();
// True when `bytes` is within that limit; otherwise reports, as `who`, the
// size asked and the limit (code 512) and returns false. Zoltalc and the
// reader check every large request with it.
bool Zoltmemok(size_t bytes, const char *who);
void Zoltcfree(void *p);
char *Zolttim();
// True when the magic reads "ZOL" or "OLT" plus NUL.
bool Zoltmagicok(const ZoltHeader *h);
// Pixel count (n = -1) and byte count of an image, 0 on failure; 64-bit safe
// companions of Zoltdimen(h, -1) and Zoltdimen(h, -2).
size_t Zoltpixels(const ZoltHeader *h);
size_t Zoltbytes(const ZoltHeader *h);

// --------------------------------------------------------- pixel access

double Zoltfgp(const ZoltHeader *h, int row, int col);
int Zoltfpp(ZoltHeader *h, int row, int col, double value);
int Zoltigp(const ZoltHeader *h, int row, int col);
int Zoltipp(ZoltHeader *h, int row, int col, int value);
double Zoltfgp3d(const ZoltHeader *h, int frame, int row, int col);
int Zoltfpp3d(ZoltHeader *h, int frame, int row, int col, double value);
int Zoltigp3d(const ZoltHeader *h, int frame, int row, int col);
int Zoltipp3d(ZoltHeader *h, int frame, int row, int col, int value);

int Zoltconvert(const ZoltHeader *src, ZoltHeader *dst);
ZoltHeader *Zoltexwin(const ZoltHeader *h, int r1, int c1, int r2, int c2);
ZoltHeader *Zoltexwin3d(const ZoltHeader *h, int f1, int r1, int c1, int f2, int r2, int c2);
ZoltHeader *Oltslice(ZoltHeader *h, const char *name, int index);

// The low 32 bits of a value truncated toward zero (wrapping modulo 2^32; 0 for
// NaN and infinities). Casting the result to an 8-, 16- or 32-bit integer keeps
// that many low bits: 300.7 gives 44 as an unsigned byte, -1.5 gives 255.
uint32_t Zoltlowbitswide(double value);
inline uint32_t Zoltlowbits(double value) {
    if (value > -9.0e18 && value < 9.0e18)
        return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(value)));
    return Zoltlowbitswide(value);
}

// ------------------------------------------------------------ ZOLT files

ZoltHeader *ZoltRdImg(FILE *fp, int tailflag);
ZoltHeader *ZoltRdHdr(FILE *fp);
ZoltHeader *ZoltRdDims(ZoltHeader *h, FILE *fp);
int ZoltRdData(ZoltHeader *h, FILE *fp);
int ZoltRdTail(ZoltHeader *h, FILE *fp);
int ZoltConvertData(ZoltHeader *h);
ZoltHeader *ZoltConvertDims(ZoltHeader *h);
ZoltHeader *ZoltGetImg(const char *name, const char *prompt, int tailflag);
ZoltHeader *Zoltpin(const char *name);
int ZoltClose(FILE *fp);

int ZoltWrImg(ZoltHeader *h, FILE *fp, int tailflag);
int ZoltPutImg(ZoltHeader *h, const char *name, const char *prompt, int tailflag);
int Zoltpot(ZoltHeader *h, const char *name);
// Zoltpin and Zoltpot for names a person chose (in a file dialog, on a
// command line): the name is taken as it is, with no variables or "~"
// expanded and no prompting; "-" is still the standard stream.
ZoltHeader *Zoltpinlit(const char *name);
int Zoltpotlit(ZoltHeader *h, const char *name);

// ------------------------------------------------------------ file names

FILE *ZoltOpen(const char *name, const char *mode, const char *prompt, int count);
char *ZoltGetFN(const char *prompt, FILE *in);
char *ZoltPrsFN(const char *name, int *status);
char *ZoltEnv(const char *name, int *status);

#endif
