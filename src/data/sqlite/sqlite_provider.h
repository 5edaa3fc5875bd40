// The embedded SQLite provider: runs the SQL Server dialect the component
// sends on an SQLite database file, through the translation stage of
// data/sqlite/translate.
//
// Connection string parts it reads:
//   Data Source=<path>     an existing database file (a missing file is an
//                          error naming the path; databases are created by
//                          the operator tool, never by opening them)
//   Busy Timeout=<ms>      how long a statement waits for a lock held by
//                          another connection (default 30000)
//
// Behaviour of a physical connection
// - Journal: opening a database that is not in write-ahead-log mode
//   switches it (a lasting property of the file, so every database the
//   tool creates or opens is switched once; when another connection has the
//   file open at that moment the switch waits for a later open). Readers
//   then never wait for a writer nor hold up its commit: each reads the
//   last committed state, and one writer at a time takes the write lock.
//   Chosen on open rather than only when a database is created, so that
//   databases made before, or by other programs, get it too; a kill -9 or a
//   failed commit leaves the last committed state, as with a rollback
//   journal (synchronous stays FULL).
// - Waiting: a statement that finds the database locked by another
//   connection waits in growing steps up to the busy timeout; after 200 ms
//   it calls NotifyWaiting once; when the wait runs out the error
//   ("database is locked ...") says how long it waited.
// - Each command text is translated once and cached by text; each SQLite
//   statement is prepared once and cached by its text (reset and unbound
//   between uses, finalised when the connection closes). Both caches are
//   bounded: when one is full it is emptied and refilled. A text the
//   connection has not run yet takes the translation another connection of
//   the process made of it when this database answers the translation's
//   questions about its columns the same way (tsql/translation_memo.h).
// - Begin(true) is BEGIN IMMEDIATE (the write lock at once); Begin(false) a
//   read transaction (BEGIN: one snapshot, no write lock), in which a text
//   that writes is refused (kDbFail) before it runs.
// - Outside an explicit transaction (Begin), a text that writes runs inside
//   BEGIN IMMEDIATE ... COMMIT, so a batch is all-or-nothing and a writer
//   takes the write lock before its first statement; on error it is rolled
//   back. Read-only texts run in autocommit.
// - Writers keep their changes in memory: the first write transaction of a
//   connection (Begin(true), or a writing text outside one) raises its page
//   cache to 256 MiB, so that a transaction's changes stay in the cache until
//   it commits.
// - Fault injection: FaultPoint() is called before each translated
//   statement runs.
// - RunNativeScript runs the script with sqlite3_exec on the connection.
// - Reuse (ConnectionReuseScope of data/provider.h): a connection let go is
//   ready for reuse when it has no transaction open, no statement running,
//   ran no native script and compiled no text that sets state on its
//   session alone (temporary objects, ATTACH/DETACH, PRAGMA; the
//   provider's own pragmas excepted), and when the file at its Data Source
//   was the same file (device and inode) before and after the open. Reopen
//   accepts it while the path still names that file: the kept handle holds
//   the file open, so its numbers cannot pass to another file, and a file
//   deleted or renamed over at the path fails the comparison (the kept
//   connection is then closed and a new one opened). Its translation and
//   statement caches carry over; nothing else does.
// - RunReadOnly: the text must translate to one statement to run, and
//   sqlite3_stmt_readonly must hold for it before it is stepped; otherwise
//   kDbFail, and nothing has run.
// - Parameters: each value is first converted to the parameter's ADO type
//   (so a date given as text binds as a date), then bound: whole numbers and
//   Booleans (1/0) as integers, floating and currency values as doubles,
//   text as text, dates as canonical text ("YYYY-MM-DD" at midnight, else
//   "YYYY-MM-DD HH:MM:SS"), null/empty/missing as NULL, byte arrays as blobs.
// - Column values: a column declared with a type containing "DATETEXT" reads
//   as a Date (text that is not a canonical date stays text); a column whose
//   declared type has REAL, FLOA or DOUB reads as a double; otherwise by
//   storage class (integers as I4 when they fit, else as doubles; text;
//   NULL; blobs as byte arrays).
// - Column ADO types: from the declared type (INT -> 3, REAL/FLOA/DOUB -> 5,
//   DATETEXT -> 135, TEXT/CHAR/CLOB -> 202, BLOB -> 205), else from the
//   storage class of the first non-null value, else 202. Defined sizes are
//   not reported (0).
// - Errors (source "SQLite", description the database's own message):
//   "no such table" -> kDbNoTable; constraint violations -> kDbIntegrity;
//   any other failure to compile a statement (syntax error, no such column,
//   no such function, ...) and texts the translator refuses -> kDbSyntax;
//   everything else, including "database is locked" -> kDbFail.
// - Functions registered on every connection: LEN(x) (length in UTF-16 code
//   units of x without trailing blanks; NULL gives NULL) and GETDATE() (the
//   current local time as canonical text).
// Thread safety: a connection is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "data/provider.h"

namespace marl::data::sqlite {

// The provider registered as "SQLite".
std::shared_ptr<Provider> MakeSqliteProvider();

// SQLite statements prepared (compiled) since start, over all connections.
// A statement served from a connection's cache is not counted again.
int64_t StatementsPrepared();

// SQLite databases opened (new physical connections) since start.
int64_t ConnectionsOpened();

}  // namespace marl::data::sqlite
