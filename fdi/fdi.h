/* The file-decompression interface (FDI) of the cabinet library libcabinet.so.
 *
 * The Windows cabinet library's interface in its Linux shape: `long` is int32_t, `ULONG` uint32_t,
 * `UINT` unsigned int, `USHORT` uint16_t, `BOOL` and enumerations int, `INT_PTR` intptr_t.
 * The library reads the cabinet and writes the extracted files only through the caller's
 * callbacks, and takes every block of memory from the caller's allocator.
 *
 * Programs load the library at run time and look the four entry points up by name; the
 * function-pointer types below are what they cast the looked-up addresses to.
 */
#ifndef TARNWICK_FDI_H
#define TARNWICK_FDI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Error record, filled on failure. */
typedef struct {
    int erfOper; /* one of the FDIERROR values */
    int erfType; /* the library's secondary code */
    int fError;  /* nonzero when an error is recorded */
} ERF;

/* Values of ERF.erfOper, and of FDINOTIFICATION.fdie for a next cabinet that failed. */
enum {
    FDIERROR_NONE = 0,
    FDIERROR_CABINET_NOT_FOUND = 1,
    FDIERROR_NOT_A_CABINET = 2,
    FDIERROR_UNKNOWN_CABINET_VERSION = 3,
    FDIERROR_CORRUPT_CABINET = 4,
    FDIERROR_ALLOC_FAIL = 5,
    FDIERROR_BAD_COMPR_TYPE = 6,
    FDIERROR_MDI_FAIL = 7,
    FDIERROR_TARGET_FILE = 8,
    FDIERROR_RESERVE_MISMATCH = 9,
    FDIERROR_WRONG_CABINET = 10,
    FDIERROR_USER_ABORT = 11
};

/* Notification types. */
enum {
    fdintCABINET_INFO = 0,
    fdintPARTIAL_FILE = 1,
    fdintCOPY_FILE = 2,
    fdintCLOSE_FILE_INFO = 3,
    fdintNEXT_CABINET = 4,
    fdintENUMERATE = 5
};

/* Processor types for FDICreate; the library ignores the value. */
enum { cpuUNKNOWN = -1, cpu80286 = 0, cpu80386 = 1 };

/* The C run-time's flag and permission values that the library passes to the open callback. */
enum {
    FDI_O_RDONLY = 0x0000,
    FDI_O_WRONLY = 0x0001,
    FDI_O_RDWR = 0x0002,
    FDI_O_APPEND = 0x0008,
    FDI_O_SEQUENTIAL = 0x0020,
    FDI_O_CREAT = 0x0100,
    FDI_O_TRUNC = 0x0200,
    FDI_O_EXCL = 0x0400,
    FDI_O_BINARY = 0x8000,
    FDI_S_IWRITE = 0x0080,
    FDI_S_IREAD = 0x0100
};

/* Stored attribute bits of a file. */
enum {
    FDI_A_RDONLY = 0x01,
    FDI_A_HIDDEN = 0x02,
    FDI_A_SYSTEM = 0x04,
    FDI_A_ARCH = 0x20,
    FDI_A_EXEC = 0x40,
    FDI_A_NAME_IS_UTF = 0x80
};

typedef struct {
    int32_t cb;       /* COPY_FILE: uncompressed size; CLOSE_FILE_INFO: 1 to run the file */
    char *psz1;       /* file name, or the next cabinet's name */
    char *psz2;       /* next disk, or the cabinet where a partial file starts */
    char *psz3;       /* cabinet path; NEXT_CABINET: a 256-byte buffer the callback may rewrite */
    void *pv;         /* the user value given to FDICopy */
    intptr_t hf;      /* CLOSE_FILE_INFO: the handle COPY_FILE returned */
    uint16_t date;    /* MS-DOS date of the file */
    uint16_t time;    /* MS-DOS time of the file */
    uint16_t attribs; /* stored attributes of the file */
    uint16_t setID;   /* CABINET_INFO: the set's identifier */
    uint16_t iCabinet;/* CABINET_INFO: the cabinet's number in its set, from 0 */
    uint16_t iFolder; /* unused, 0 */
    int fdie;         /* NEXT_CABINET: why the previous attempt failed, or FDIERROR_NONE */
} FDINOTIFICATION;

typedef struct {
    int32_t cbCabinet; /* the size the header states */
    uint16_t cFolders;
    uint16_t cFiles;
    uint16_t setID;
    uint16_t iCabinet;
    int fReserve; /* the header carries reserved-space sizes */
    int hasprev;
    int hasnext;
} FDICABINETINFO;

typedef void *(*PFNALLOC)(uint32_t cb);
typedef void (*PFNFREE)(void *pv);
typedef intptr_t (*PFNOPEN)(char *pszFile, int oflag, int pmode);
typedef unsigned int (*PFNREAD)(intptr_t hf, void *pv, unsigned int cb);
typedef unsigned int (*PFNWRITE)(intptr_t hf, void *pv, unsigned int cb);
typedef int (*PFNCLOSE)(intptr_t hf);
typedef int32_t (*PFNSEEK)(intptr_t hf, int32_t dist, int seektype);
typedef intptr_t (*PFNFDINOTIFY)(int fdint, FDINOTIFICATION *pfdin);
typedef int (*PFNFDIDECRYPT)(void *pfdid);

/* Creates a context, or gives null with erf filled. */
void *FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread,
                PFNWRITE pfnwrite, PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, ERF *perf);

/* Extracts the cabinet pszCabPath followed directly by pszCabinet, announcing every file to
 * pfnfdin; files continued into later cabinets are finished within the same call.
 * True on success, false with the context's ERF filled. */
int FDICopy(void *hfdi, char *pszCabinet, char *pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
            PFNFDIDECRYPT pfnfdid, void *pvUser);

/* Reads a cabinet header from hf's current position. True when it is a cabinet. */
int FDIIsCabinet(void *hfdi, intptr_t hf, FDICABINETINFO *pfdici);

/* Releases a context. True when it was one. */
int FDIDestroy(void *hfdi);

typedef void *(*PFNFDICREATE)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK, int,
                              ERF *);
typedef int (*PFNFDICOPY)(void *, char *, char *, int, PFNFDINOTIFY, PFNFDIDECRYPT, void *);
typedef int (*PFNFDIISCABINET)(void *, intptr_t, FDICABINETINFO *);
typedef int (*PFNFDIDESTROY)(void *);

#ifdef __cplusplus
}
#endif

#endif /* TARNWICK_FDI_H */
