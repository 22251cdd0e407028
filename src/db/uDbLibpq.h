#pragma once

#include "uLoadedLibrary.h"

#include <libpq-fe.h>

// The PostgreSQL client library, loaded on the first PostgreSQL connection instead of at
// every start: with the TLS, Kerberos and LDAP libraries it brings, it is about a third
// of the libraries the program would otherwise load (and relocate) before its tray icon
// shows, for users who may never connect to PostgreSQL.
#define QUILLORY_LIBPQ_FUNCTIONS(F)                                                                              \
    F(cancel) F(clear) F(connectdbParams) F(consumeInput) F(errorMessage) F(finish) F(fmod) F(fname)              \
        F(freeCancel) F(freemem) F(ftype) F(getCancel) F(getResult) F(getisnull) F(getlength) F(getvalue)         \
            F(isBusy) F(nfields) F(ntuples) F(resultErrorMessage) F(resultStatus) F(sendDescribePrepared)         \
                F(sendPrepare) F(sendQuery) F(setNoticeProcessor) F(setSingleRowMode) F(socket) F(status)         \
                    F(transactionStatus) F(unescapeBytea)

// libpq's functions by their names without "PQ".
struct TLibpq
{
#define QUILLORY_LIBPQ_MEMBER(name) QUILLORY_LIBRARY_MEMBER(PQ, name)
    QUILLORY_LIBPQ_FUNCTIONS(QUILLORY_LIBPQ_MEMBER)
#undef QUILLORY_LIBPQ_MEMBER
};

namespace dbbackends {
// The library, loaded once; EDbError saying why when it cannot be.
const TLibpq& libpq();
} // namespace dbbackends
