// The ODBC provider: the component's SQL Server dialect on a database server
// reached through an ODBC driver manager (unixODBC), on the ODBC API itself.
//
// Selected by OpenPhysical (see ChooseProvider in data/provider.h): an ODBC
// connection string ("Driver=..." or "DSN=..."), or an OLE DB string for SQL
// Server mapped onto the FreeTDS driver. The string goes to
// SQLDriverConnect as it is.
//
// The mode follows the DBMS name that SQLGetInfo reports after connecting:
// - "Microsoft SQL Server" (FreeTDS): every text is sent whole, as written
//   (it is that server's dialect), through the wide API (SQLExecDirectW,
//   SQLPrepareW when it has parameters); every result is walked with
//   SQLMoreResults, so that an error after the first result is not lost.
// - "PostgreSQL" (psqlODBC): each text is translated by the T-SQL front end
//   into PostgreSQL statements, sent one at a time through the wide API
//   (SQLPrepareW, kept prepared per connection); variables and control flow
//   run in the client-side interpreter. A translation is made once per
//   process (tsql/translation_memo.h: made without column questions, it is
//   shared by every connection).
// - "SQLite" (the SQLite3 driver): the same with the SQLite writer, through
//   the narrow API (that driver has no wide entry points: text goes as
//   UTF-8).
// Any other DBMS is refused when the connection opens.
//
// Transactions. Begin turns autocommit off (on SQLite: BEGIN / BEGIN
// IMMEDIATE); Commit and Rollback end the transaction with SQLEndTran and
// turn autocommit on again. Begin(for_write = true) serialises writers:
// - PostgreSQL: SELECT pg_advisory_xact_lock(84938386195279) at once (the
//   key is "MARLCO" in ASCII, 0x4D41524C434F); released when the
//   transaction ends. A second close waits, then reads the committed period.
// - SQL Server: sp_getapplock on the resource 'MarlCheckOut.Writer',
//   exclusive, owned by the transaction, waiting without limit.
// - SQLite: BEGIN IMMEDIATE (the driver's busy timeout applies).
// A text that writes, run outside a transaction, runs inside one of its own
// (all or nothing). Any error inside a transaction ends it rolled back
// before the error is raised: psqlODBC would otherwise roll back silently
// and carry on in a new transaction (its default Protocol=7.4-1), and the
// server refuses everything after an error (25P02) anyway. InTransaction()
// then reports false, so the data-access layer refuses to carry on in that
// transaction.
//
// Records affected: the sum of the row counts of the writing statements of
// a text (SQLRowCount; an UPDATE or DELETE that touches no row returns
// SQL_NO_DATA and counts 0), -1 when no statement wrote. On SQL Server, the
// sum of the row counts of the results that have no columns.
//
// RunReadOnly: the text must translate to one statement that does not
// write (the front end's statement kind: INSERT, UPDATE, DELETE, DDL and
// WITH ... DML write), else kDbFail before anything runs. Then:
// - PostgreSQL: the statement runs in a READ ONLY transaction (or, inside a
//   transaction, under a savepoint with transaction_read_only set and rolled
//   back), so a write the text hides (SELECT ... INTO, a function) fails;
// - SQLite: the statement runs under PRAGMA query_only;
// - SQL Server: the statement kind alone (the text is sent as written).
//
// Fault injection: FaultPoint() before each translated statement runs; a
// text sent as written (SQL Server) counts as one statement.
//
// Parameters: converted to their ADO type's kind (CoerceParam), then bound:
// whole numbers and Booleans as SQL_C_SLONG / SQL_INTEGER, floating and
// currency values as SQL_C_DOUBLE / SQL_DOUBLE, text as SQL_C_WCHAR /
// SQL_WVARCHAR (the SQLite3 driver would convert narrow text with the
// process locale), dates as SQL_C_TYPE_TIMESTAMP (on SQLite as the canonical
// text the embedded provider stores), byte arrays as SQL_C_BINARY,
// null/empty/missing as a null of SQL_WVARCHAR.
//
// Results: names from SQLDescribeColW. PostgreSQL folds unquoted names to
// lower case, so a reported name that is all lower case takes the spelling
// the command text gives that word (its select list, or any other place the
// text names it: "SELECT fyear ... a.FYear" reads FYear), else the spelling
// of the first text run in this process that names it (columns a star
// brings in); names no text spells stay as reported. Values: integer types
// (count(*) is bigint) read as I4 when they fit, else as doubles; NUMERIC
// and DECIMAL as I4 when written without a decimal point and fitting, else
// as doubles (the period key FYear+0.0001*FPeriod reads as the double it is
// on SQLite); floating types as doubles; text (SQL_C_WCHAR) as text; dates
// and times as dates; binary as byte arrays. On SQLite, a column declared
// DATETEXT reads as a date, as on the embedded provider. ADO types: 3 for
// integers, 5 for floating and numeric (3 when every value read as I4), 202
// for text, 135 for dates, 205 for binary.
//
// RunNativeScript sends the script whole through SQLExecDirect and walks
// every result; the server splits it into statements (PostgreSQL runs a
// script sent outside a transaction as one implicit transaction). An error
// inside a transaction ends it rolled back.
//
// Errors: MakeError in odbc_support.h (the number from the SQLSTATE class,
// every diagnostic record in the description, source "ODBC").
//
// Properties (SQLGetInfo): "DBMS Name" (SQL_DBMS_NAME), "DBMS Version"
// (SQL_DBMS_VER), "Provider Name" (SQL_DRIVER_NAME), "Multiple Results"
// (SQL_MULT_RESULT_SETS: 1 for "Y", 0 for "N"), "Like Escape Clause"
// (SQL_LIKE_ESCAPE_CLAUSE, "Y" or "N"), "Integrity Enhancement Facility"
// (SQL_INTEGRITY, a Boolean), "Numeric Functions", "String Functions",
// "System Functions", "Time/Date Functions" (the SQL_NUMERIC_FUNCTIONS,
// SQL_STRING_FUNCTIONS, SQL_SYSTEM_FUNCTIONS and SQL_TIMEDATE_FUNCTIONS
// masks). A value the driver does not give is absent.
//
// Thread safety: a connection is used by one thread at a time.
#pragma once

#include <memory>

#include "data/provider.h"

namespace marl::data::odbc {

// The provider registered as kOdbcProvider ("ODBC").
std::shared_ptr<Provider> MakeOdbcProvider();

}  // namespace marl::data::odbc
