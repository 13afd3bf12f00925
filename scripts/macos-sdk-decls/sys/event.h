// kqueue(2) and kevent(2): the subset our Mac files use. Written from Apple's kqueue(2) manual and
// the layout of <sys/event.h>.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <stdint.h>
#include <sys/types.h>
#include <time.h>

NUVRA_DECL_EXTERN_C_BEGIN

struct kevent {
    uintptr_t ident;
    int16_t filter;
    uint16_t flags;
    uint32_t fflags;
    intptr_t data;
    void* udata;
};

#define EVFILT_PROC (-5)
#define EV_ADD 0x0001
#define EV_ONESHOT 0x0010
#define NOTE_EXIT 0x80000000U

#define EV_SET(kevp, a, b, c, d, e, f)                                                             \
    do {                                                                                           \
        struct kevent* __kevp__ = (kevp);                                                          \
        __kevp__->ident = (a);                                                                     \
        __kevp__->filter = (int16_t)(b);                                                           \
        __kevp__->flags = (uint16_t)(c);                                                           \
        __kevp__->fflags = (uint32_t)(d);                                                          \
        __kevp__->data = (e);                                                                      \
        __kevp__->udata = (f);                                                                     \
    } while (0)

int kqueue(void);
int kevent(int kq, const struct kevent* changelist, int nchanges, struct kevent* eventlist,
           int nevents, const struct timespec* timeout);

NUVRA_DECL_EXTERN_C_END
