// <sys/stat.h> as macOS declares it (64-bit inodes): the subset our Mac files use. Written from
// Apple's stat(2) manual, whose struct carries the birth time that Linux's lacks.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <sys/types.h>
#include <time.h>

NUVRA_DECL_EXTERN_C_BEGIN

struct stat {
    dev_t st_dev;
    mode_t st_mode;
    nlink_t st_nlink;
    ino_t st_ino;
    uid_t st_uid;
    gid_t st_gid;
    dev_t st_rdev;
    struct timespec st_atimespec;
    struct timespec st_mtimespec;
    struct timespec st_ctimespec;
    struct timespec st_birthtimespec;
    off_t st_size;
    blkcnt_t st_blocks;
    blksize_t st_blksize;
    uint32_t st_flags;
    uint32_t st_gen;
    int32_t st_lspare;
    int64_t st_qspare[2];
};

int stat(const char* path, struct stat* buf);
int lstat(const char* path, struct stat* buf);
int fstat(int fildes, struct stat* buf);
int fstatat(int fd, const char* path, struct stat* buf, int flag);

NUVRA_DECL_EXTERN_C_END
