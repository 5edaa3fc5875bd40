-- ERP database schema for the embedded SQLite provider (SQLite 3.40+).
--
-- Creates every table the closing component reads or writes, with its
-- indexes and seed rows. Run it once, as one script, on a new database
-- (sqlite3_exec, or `sqlite3 FILE < erp.sql`). The script wraps itself in a
-- savepoint: on a connection without a transaction it runs as one
-- transaction (fast, and all or nothing); inside a caller's transaction it
-- nests.
--
-- Conventions
-- - Whole numbers (years, periods, row types, internal identifiers, flags)
--   are INTEGER.
-- - Amounts, quantities, prices and rates are REAL. Never DECIMAL, NUMERIC or
--   MONEY: SQLite gives those NUMERIC affinity, stores 10.0 as the integer 10
--   and then divides as integers (10/4 = 2).
-- - Text is TEXT COLLATE NOCASE, so that 'abc' = 'ABC' as under the ERP
--   server's usual case-insensitive collation (ASCII letters).
-- - Dates and times are declared DATETEXT. SQLite reads the name as TEXT
--   affinity; the provider recognises the declared type and returns the
--   values as dates. Every writer stores one canonical form:
--   'YYYY-MM-DD' at midnight, else 'YYYY-MM-DD HH:MM:SS' ('.mmm' appended
--   only when the milliseconds are not zero). With that form, comparisons
--   against 'YYYY-MM-DD' literals and text order behave as date order.
--   Never store 'YYYY-MM-DD 00:00:00': FPerEndDate <= '2005-03-31' would then
--   miss the last day.
-- - Booleans and check marks are INTEGER (1 set, 0 clear).
-- - Every column that some statement does not set has a default or allows
--   NULL. Amount and quantity columns default to 0, so that an INSERT that
--   sets only the value column of its row type leaves the others at 0.
--   FYear and FPeriod are NOT NULL on every per-period table (every
--   statement that writes such a table sets them).
-- - Identity columns: FID of the three cost-revert working tables and
--   FItemID of cbMaterielInfo are INTEGER PRIMARY KEY AUTOINCREMENT, filled
--   by the database when an INSERT leaves them out (the restore direction of
--   the history moves does exactly that). AUTOINCREMENT, not a plain rowid
--   alias, so that a number once handed out is never handed out again, even
--   after the row with the highest number moved to history (the server's
--   identity behaves the same way). Their "_History" twins keep the same
--   column in the same position as a plain INTEGER: archiving copies the
--   working row's identity into it explicitly, and an archive may hold the
--   same number twice (a period archived, restored under new numbers and
--   archived again never collides, but rows archived by other tools may),
--   so it is neither a key nor unique there. Twins have identical column
--   lists and order.
-- - Indexes: every per-period table has an index that starts with
--   (FYear, FPeriod), so that a statement's cost follows the period it
--   touches, not the table's history. Where a table's unique key starts with
--   (FYear, FPeriod), that key is the index. The daily-costing tables are
--   also indexed on their date window (FPerBeginDate, FPerEndDate), which
--   their statements select by. cbBalance and cbCostObjDetail carry an index
--   on the period key expression FYear+0.0001*FPeriod, which the
--   "periods after the new current period" deletions of a reopened close
--   compare with a constant.
-- - Internal identifiers of departments, cost objects, products, cost items,
--   materials and standards in the monthly, daily, standard, allocation,
--   cost-revert and distribution tables are INTEGER (cost item 0 marks the
--   quantity rows of the balance tables). The base tables (CB_Bm...) and the
--   cost balance table CB_CostBalance use text codes; the total item of the
--   cost balance lists is the code '*'. Batch numbers are text.

SAVEPOINT erp_schema;

-------------------------------------------------------------------------------
-- System tables
-------------------------------------------------------------------------------

-- The ERP system profile: one row per setting of a module (category).
-- Read: profile reads (current year and period of 'CB', 'GL' period count).
-- Written: the current-period update of a close and the profile write.
-- Not unique on (FCategory, FKey): a reader takes the first row.
CREATE TABLE t_SystemProfile (
  FCategory    TEXT COLLATE NOCASE NOT NULL,
  FKey         TEXT COLLATE NOCASE NOT NULL,
  FValue       TEXT COLLATE NOCASE,
  FDescription TEXT COLLATE NOCASE DEFAULT ''
);
CREATE INDEX ix_t_SystemProfile_Key ON t_SystemProfile (FCategory, FKey);

-- Data type descriptions, one row per ADO data type code (FDataType). Read
-- once per process by the data source to name column types and to choose
-- the type a parameter binds with.
--   FTypeName      the database's type name; "()" marks where precision and
--                  scale go; without "()" and with a precision limit, the
--                  numbers are appended ("REAL" -> "REAL(18,4)", which SQLite
--                  still reads with REAL affinity)
--   FMaxPrecision  largest precision or length; NULL when the type takes none
--   FMinScale, FMaxScale  scale limits; NULL when the type has no scale
--   FActualType    ADO code of what the column really holds
--   FActualSize    size of the actual column; NULL: the requested precision
--   FBindType      ADO code parameters of this type are bound with
-- FDataType is unique but may be NULL (a NULL row is a broken description
-- that the reader reports).
CREATE TABLE t_DataTypeInfo (
  FDataType     INTEGER,
  FTypeName     TEXT COLLATE NOCASE,
  FMaxPrecision INTEGER,
  FMinScale     INTEGER,
  FMaxScale     INTEGER,
  FActualType   INTEGER,
  FActualSize   INTEGER,
  FBindType     INTEGER
);
CREATE UNIQUE INDEX ux_t_DataTypeInfo ON t_DataTypeInfo (FDataType);

-- Stored procedures the database offers, by name. SQLite has none, so the
-- table is empty; it exists because the data source reads it.
CREATE TABLE t_SupportedProc (
  FProcName TEXT COLLATE NOCASE NOT NULL
);
CREATE UNIQUE INDEX ux_t_SupportedProc ON t_SupportedProc (FProcName);

-- Texts of the validation errors 10000 and up, in three languages.
CREATE TABLE CB_BmErrCode (
  FCode            INTEGER PRIMARY KEY,
  FDescriptive     TEXT COLLATE NOCASE,
  FDescriptive_CHT TEXT COLLATE NOCASE,
  FDescriptive_EN  TEXT COLLATE NOCASE
);

-- Texts of the error items (the column or object in error); one text for
-- every language.
CREATE TABLE CB_BmErrItem (
  FItem        INTEGER PRIMARY KEY,
  FDescriptive TEXT COLLATE NOCASE
);

-------------------------------------------------------------------------------
-- Base tables (codes are text)
-------------------------------------------------------------------------------

-- Cost items. The cost balance lists pair every cost item with every
-- department and product, plus the total item '*'.
CREATE TABLE CB_BmItem (
  FID   TEXT COLLATE NOCASE NOT NULL PRIMARY KEY,
  FName TEXT COLLATE NOCASE NOT NULL DEFAULT ''
);

-- Expense departments. FType 0 marks the departments a close walks through.
CREATE TABLE CB_BmExpDept (
  FID   TEXT COLLATE NOCASE NOT NULL PRIMARY KEY,
  FName TEXT COLLATE NOCASE NOT NULL DEFAULT '',
  FType INTEGER NOT NULL DEFAULT 0
);

-- Products (cost objects). FType: 1, 2 or 3; 3 is a batch product.
-- FPrecision and FPPrecision are the decimal places of quantities and prices.
CREATE TABLE CB_BmProduct (
  FID         TEXT COLLATE NOCASE NOT NULL PRIMARY KEY,
  FName       TEXT COLLATE NOCASE NOT NULL DEFAULT '',
  FType       INTEGER NOT NULL DEFAULT 1,
  FPrecision  INTEGER NOT NULL DEFAULT 2,
  FPPrecision INTEGER NOT NULL DEFAULT 2
);
CREATE INDEX ix_CB_BmProduct_Type ON CB_BmProduct (FType);

-- Materials. FRem is the material's remark (grade, model).
CREATE TABLE CB_BmMateriel (
  FID         TEXT COLLATE NOCASE NOT NULL PRIMARY KEY,
  FName       TEXT COLLATE NOCASE NOT NULL DEFAULT '',
  FRem        TEXT COLLATE NOCASE DEFAULT '',
  FPrecision  INTEGER NOT NULL DEFAULT 2,
  FPPrecision INTEGER NOT NULL DEFAULT 2
);

-- Allocation standards (codes that the command builder's "code in use"
-- check may be asked about).
CREATE TABLE CB_BmStandard (
  FID   TEXT COLLATE NOCASE NOT NULL PRIMARY KEY,
  FName TEXT COLLATE NOCASE NOT NULL DEFAULT ''
);

-- Batch quantity of a cost object (batch products).
CREATE TABLE CB_BmCostObj_Product (
  FCostObjID TEXT COLLATE NOCASE NOT NULL PRIMARY KEY,
  FComQty    REAL NOT NULL DEFAULT 0
);

-- Completed quantities of products per period (batch completion state).
CREATE TABLE CB_CompleteProductInfo (
  FYear      INTEGER NOT NULL,
  FPeriod    INTEGER NOT NULL,
  FExpDeptID TEXT COLLATE NOCASE DEFAULT '',
  FProductID TEXT COLLATE NOCASE NOT NULL,
  FQty       REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_CB_CompleteProductInfo_Period
  ON CB_CompleteProductInfo (FYear, FPeriod);
-- Also carries the period and quantity, so that the completed quantity of
-- each product up to a period (the batch state of the period transfer) is
-- summed from the index alone.
CREATE INDEX ix_CB_CompleteProductInfo_Product
  ON CB_CompleteProductInfo (FProductID, FYear, FPeriod, FQty);

-------------------------------------------------------------------------------
-- Cost balance (written through the table command builder; read by the
-- cost balance lists and the period transfer)
-------------------------------------------------------------------------------

-- Columns in the order the builder describes them. Defaults are those the
-- builder applies to a null value, so a direct INSERT gets the same.
CREATE TABLE CB_CostBalance (
  FYear         INTEGER NOT NULL,
  FPeriod       INTEGER NOT NULL,
  FCostID       TEXT COLLATE NOCASE NOT NULL,
  FCostName     TEXT COLLATE NOCASE DEFAULT '',
  FExpDeptID    TEXT COLLATE NOCASE NOT NULL,
  FExpDeptName  TEXT COLLATE NOCASE,
  FProductID    TEXT COLLATE NOCASE NOT NULL,
  FProductName  TEXT COLLATE NOCASE,
  FExpenseID    TEXT COLLATE NOCASE DEFAULT ' ',
  FBegBal       REAL DEFAULT 0,
  FQty          REAL DEFAULT 0,
  FAccount      REAL DEFAULT 0,
  FCalPrice     REAL DEFAULT 0,
  FPrice        REAL DEFAULT 0,
  FEndBal       REAL DEFAULT 0,
  FCompleQty    REAL DEFAULT 0,
  FOnlineQty    REAL DEFAULT 0,
  FOnlineJorQty REAL DEFAULT 0,
  FBatch        TEXT COLLATE NOCASE DEFAULT ''
);
-- The row key; also the (FYear, FPeriod) index of the table.
CREATE UNIQUE INDEX ux_CB_CostBalance_Key
  ON CB_CostBalance (FYear, FPeriod, FExpDeptID, FProductID, FCostID);
-- The lists pair a department's products across periods. FYear and FPeriod
-- make it cover their "DISTINCT FExpDeptID,FProductID ... WHERE FYear +
-- 0.0001 * FPeriod <= key" (an index walk, no row reads).
CREATE INDEX ix_CB_CostBalance_DeptProduct
  ON CB_CostBalance (FExpDeptID, FProductID, FYear, FPeriod);

-------------------------------------------------------------------------------
-- Monthly work-in-process balances and their sources
-------------------------------------------------------------------------------

-- Work-in-process balance per period, department, cost item and product.
-- FTypeID: 1 beginning quantity (FQty), 2 beginning amount (FBegBal),
-- 3 ending quantity (FOnlnQty), 4 ending amount (FEndBal). An INSERT sets
-- only the value column of its type; the others default to 0. FCostID is 0
-- on quantity rows.
CREATE TABLE cbBalance (
  FYear      INTEGER NOT NULL,
  FPeriod    INTEGER NOT NULL,
  FDepID     INTEGER,
  FCostID    INTEGER NOT NULL DEFAULT 0,
  FProductID INTEGER,
  FQty       REAL NOT NULL DEFAULT 0,
  FBegBal    REAL NOT NULL DEFAULT 0,
  FOnlnQty   REAL NOT NULL DEFAULT 0,
  FEndBal    REAL NOT NULL DEFAULT 0,
  FTypeID    INTEGER NOT NULL
);
CREATE INDEX ix_cbBalance_Period ON cbBalance (FYear, FPeriod, FTypeID);
CREATE INDEX ix_cbBalance_PeriodKey ON cbBalance ((FYear+0.0001*FPeriod));

-- Beginning work-in-process detail by material and batch.
CREATE TABLE cbCostObjDetail (
  FYear       INTEGER NOT NULL,
  FPeriod     INTEGER NOT NULL,
  FDepID      INTEGER,
  FCostObjID  INTEGER,
  FCostItemID INTEGER,
  FMaterielID INTEGER,
  FBatchNo    TEXT COLLATE NOCASE DEFAULT '',
  FQty        REAL NOT NULL DEFAULT 0,
  FSum        REAL NOT NULL DEFAULT 0,
  FPrice      REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbCostObjDetail_Period ON cbCostObjDetail (FYear, FPeriod);
CREATE INDEX ix_cbCostObjDetail_PeriodKey
  ON cbCostObjDetail ((FYear+0.0001*FPeriod));

-- Counted work-in-process quantity per cost object (source of type 3 rows).
CREATE TABLE cbCostObjCheck (
  FYear      INTEGER NOT NULL,
  FPeriod    INTEGER NOT NULL,
  FDeptID    INTEGER,
  FCostObjID INTEGER,
  FQty       REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbCostObjCheck_Period ON cbCostObjCheck (FYear, FPeriod);

-- Cost calculation result per cost object and cost item (source of type 4
-- rows). FOnlineAmount is the work-in-process amount.
CREATE TABLE cbCalinfo (
  FYear         INTEGER NOT NULL,
  FPeriod       INTEGER NOT NULL,
  FDeptID       INTEGER,
  FCostItemID   INTEGER NOT NULL DEFAULT 0,
  FCostObjID    INTEGER,
  FBegAmount    REAL NOT NULL DEFAULT 0,
  FAmount       REAL NOT NULL DEFAULT 0,
  FCompleAmount REAL NOT NULL DEFAULT 0,
  FOnlineAmount REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbCalinfo_Period ON cbCalinfo (FYear, FPeriod);

-- Calculation detail by material and batch (source of the beginning detail,
-- monthly and daily).
CREATE TABLE cbCalinfoDetail (
  FYear         INTEGER NOT NULL,
  FPeriod       INTEGER NOT NULL,
  FDeptID       INTEGER,
  FCostObjID    INTEGER,
  FCostItemID   INTEGER,
  FMaterielID   INTEGER,
  FBatchNo      TEXT COLLATE NOCASE DEFAULT '',
  FOnlineQty    REAL NOT NULL DEFAULT 0,
  FOnlineAmount REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbCalinfoDetail_Period ON cbCalinfoDetail (FYear, FPeriod);

-------------------------------------------------------------------------------
-- Standards and allocation data (copied into the next period at a close)
-------------------------------------------------------------------------------

CREATE TABLE CBRationStandardInfo (
  FYear       INTEGER NOT NULL,
  FPeriod     INTEGER NOT NULL,
  FDeptID     INTEGER,
  FCostObjID  INTEGER,
  FStandardID INTEGER,
  FCostItemID INTEGER,
  FQty        REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBRationStandardInfo_Period
  ON CBRationStandardInfo (FYear, FPeriod);

CREATE TABLE CBStdSalaryRate (
  FYear       INTEGER NOT NULL,
  FPeriod     INTEGER NOT NULL,
  FCostObjID  INTEGER,
  FSalaryRate REAL NOT NULL DEFAULT 0,
  FCostItemID INTEGER
);
CREATE INDEX ix_CBStdSalaryRate_Period ON CBStdSalaryRate (FYear, FPeriod);

CREATE TABLE CBStdStdManhour (
  FYear       INTEGER NOT NULL,
  FPeriod     INTEGER NOT NULL,
  FCostObjID  INTEGER,
  FStdManHour REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBStdStdManhour_Period ON CBStdStdManhour (FYear, FPeriod);

CREATE TABLE CBStdFloatMakeRate (
  FYear          INTEGER NOT NULL,
  FPeriod        INTEGER NOT NULL,
  FCostObjID     INTEGER,
  FFloatMakeRate REAL NOT NULL DEFAULT 0,
  FCostItemID    INTEGER
);
CREATE INDEX ix_CBStdFloatMakeRate_Period
  ON CBStdFloatMakeRate (FYear, FPeriod);

-- Standard price per item (material).
CREATE TABLE CBStdStdPrice (
  FYear     INTEGER NOT NULL,
  FPeriod   INTEGER NOT NULL,
  FItemID   INTEGER,
  FStdPrice REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBStdStdPrice_Period ON CBStdStdPrice (FYear, FPeriod);

CREATE TABLE CBStdfixedMakebudget (
  FYear            INTEGER NOT NULL,
  FPeriod          INTEGER NOT NULL,
  FCostObjID       INTEGER,
  FDeptID          INTEGER,
  FFixedMakeBudget REAL NOT NULL DEFAULT 0,
  FCostItemID      INTEGER
);
CREATE INDEX ix_CBStdfixedMakebudget_Period
  ON CBStdfixedMakebudget (FYear, FPeriod);

CREATE TABLE CBStdBudgetOutput (
  FYear       INTEGER NOT NULL,
  FPeriod     INTEGER NOT NULL,
  FCostObjID  INTEGER,
  FDeptID     INTEGER,
  FOutProduct REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBStdBudgetOutput_Period
  ON CBStdBudgetOutput (FYear, FPeriod);

-- Price per cost type, cost object and cost item.
CREATE TABLE cbCostTypeInfo (
  FYear       INTEGER NOT NULL,
  FPeriod     INTEGER NOT NULL,
  FCostTypeID INTEGER,
  FCostObjID  INTEGER,
  FCostItemID INTEGER,
  FPrice      REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbCostTypeInfo_Period ON cbCostTypeInfo (FYear, FPeriod);

-- Allocation standards.
CREATE TABLE CBSortStandardInfo (
  FYear       INTEGER NOT NULL,
  FPeriod     INTEGER NOT NULL,
  FDeptID     INTEGER,
  FCostObjID  INTEGER,
  FStandardID INTEGER,
  FCostItemID INTEGER,
  FProductID  INTEGER,
  FQty        REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBSortStandardInfo_Period
  ON CBSortStandardInfo (FYear, FPeriod);

-- By-product amounts.
CREATE TABLE CBDeputyInfo (
  FYear       INTEGER NOT NULL,
  FPeriod     INTEGER NOT NULL,
  FCostItemID INTEGER,
  FProductID  INTEGER,
  FAmount     REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBDeputyInfo_Period ON CBDeputyInfo (FYear, FPeriod);

-------------------------------------------------------------------------------
-- Daily costing
-------------------------------------------------------------------------------

-- Calendar of daily-costing cycles: for each accounting period its cycles
-- (code up to 10 characters) with their first and last day.
CREATE TABLE CBPeriodDate (
  FYear            INTEGER NOT NULL,
  FPeriod          INTEGER NOT NULL,
  FYearPeriodCycle TEXT COLLATE NOCASE NOT NULL,
  FPeriodStartDay  DATETEXT NOT NULL,
  FPeriodEndDay    DATETEXT NOT NULL
);
CREATE UNIQUE INDEX ux_CBPeriodDate
  ON CBPeriodDate (FYear, FPeriod, FYearPeriodCycle);

-- Daily-costing work-in-process balance; row types as in cbBalance. The
-- window (FPerBeginDate, FPerEndDate) is NOT NULL: every statement selects
-- and replaces rows by their window (or by their cycle), and a row without
-- one could never be selected or replaced again. So seeding a next period
-- that has no row in CBPeriodDate (cycle and dates then NULL) fails and
-- rolls back instead of leaving such rows behind on every run.
CREATE TABLE DayCost_Balance (
  FYear            INTEGER NOT NULL,
  FPeriod          INTEGER NOT NULL,
  FDepID           INTEGER,
  FCostID          INTEGER NOT NULL DEFAULT 0,
  FProductID       INTEGER,
  FQty             REAL NOT NULL DEFAULT 0,
  FBegBal          REAL NOT NULL DEFAULT 0,
  FOnlnQty         REAL NOT NULL DEFAULT 0,
  FEndBal          REAL NOT NULL DEFAULT 0,
  FTypeID          INTEGER NOT NULL,
  FPerBeginDate    DATETEXT NOT NULL,
  FPerEndDate      DATETEXT NOT NULL,
  FYearPeriodCycle TEXT COLLATE NOCASE
);
CREATE INDEX ix_DayCost_Balance_Period
  ON DayCost_Balance (FYear, FPeriod, FTypeID);
CREATE INDEX ix_DayCost_Balance_Window
  ON DayCost_Balance (FPerBeginDate, FPerEndDate);

-- Daily-costing beginning work-in-process detail.
CREATE TABLE DayCost_CostObjDetail (
  FYear            INTEGER NOT NULL,
  FPeriod          INTEGER NOT NULL,
  FDepID           INTEGER,
  FCostObjID       INTEGER,
  FCostItemID      INTEGER,
  FMaterielID      INTEGER,
  FBatchNo         TEXT COLLATE NOCASE DEFAULT '',
  FQty             REAL NOT NULL DEFAULT 0,
  FSum             REAL NOT NULL DEFAULT 0,
  FPrice           REAL NOT NULL DEFAULT 0,
  FPerBeginDate    DATETEXT NOT NULL,
  FPerEndDate      DATETEXT NOT NULL,
  FYearPeriodCycle TEXT COLLATE NOCASE
);
CREATE INDEX ix_DayCost_CostObjDetail_Period
  ON DayCost_CostObjDetail (FYear, FPeriod);
CREATE INDEX ix_DayCost_CostObjDetail_Window
  ON DayCost_CostObjDetail (FPerBeginDate, FPerEndDate);

-- Counted work-in-process quantity of a daily-costing period.
CREATE TABLE DayCost_ObjCheck (
  FYear            INTEGER,
  FPeriod          INTEGER,
  FDeptID          INTEGER,
  FCostObjID       INTEGER,
  FQty             REAL NOT NULL DEFAULT 0,
  FPerBeginDate    DATETEXT NOT NULL,
  FPerEndDate      DATETEXT NOT NULL,
  FYearPeriodCycle TEXT COLLATE NOCASE
);
CREATE INDEX ix_DayCost_ObjCheck_Period ON DayCost_ObjCheck (FYear, FPeriod);
CREATE INDEX ix_DayCost_ObjCheck_Window
  ON DayCost_ObjCheck (FPerBeginDate, FPerEndDate);

-- Cost calculation result of a daily-costing period.
CREATE TABLE DayCost_Calinfo (
  FYear            INTEGER,
  FPeriod          INTEGER,
  FDeptID          INTEGER,
  FCostItemID      INTEGER NOT NULL DEFAULT 0,
  FCostObjID       INTEGER,
  FOnlineAmount    REAL NOT NULL DEFAULT 0,
  FPerBeginDate    DATETEXT NOT NULL,
  FPerEndDate      DATETEXT NOT NULL,
  FYearPeriodCycle TEXT COLLATE NOCASE
);
CREATE INDEX ix_DayCost_Calinfo_Period ON DayCost_Calinfo (FYear, FPeriod);
CREATE INDEX ix_DayCost_Calinfo_Window
  ON DayCost_Calinfo (FPerBeginDate, FPerEndDate);

-- Calculation detail of a daily-costing period.
CREATE TABLE DayCost_CalinfoDetail (
  FYear            INTEGER,
  FPeriod          INTEGER,
  FDeptID          INTEGER,
  FCostObjID       INTEGER,
  FCostItemID      INTEGER,
  FMaterielID      INTEGER,
  FBatchNo         TEXT COLLATE NOCASE DEFAULT '',
  FOnlineQty       REAL NOT NULL DEFAULT 0,
  FOnlineAmount    REAL NOT NULL DEFAULT 0,
  FPerBeginDate    DATETEXT NOT NULL,
  FPerEndDate      DATETEXT NOT NULL,
  FYearPeriodCycle TEXT COLLATE NOCASE
);
CREATE INDEX ix_DayCost_CalinfoDetail_Period
  ON DayCost_CalinfoDetail (FYear, FPeriod);
CREATE INDEX ix_DayCost_CalinfoDetail_Window
  ON DayCost_CalinfoDetail (FPerBeginDate, FPerEndDate);

-------------------------------------------------------------------------------
-- Cost-revert ratios and their history twins
-- (identity FID in the working tables, plain INTEGER in the twins; see the
-- conventions above)
-------------------------------------------------------------------------------

CREATE TABLE CBCarriedCostRevertStdInfo (
  FID          INTEGER PRIMARY KEY AUTOINCREMENT,
  FSchemeID    INTEGER,
  FYear        INTEGER NOT NULL,
  FPeriod      INTEGER NOT NULL,
  FCostObjID   INTEGER,
  FProductID   INTEGER,
  FProdBatchNo TEXT COLLATE NOCASE DEFAULT '',
  FCostItemID  INTEGER,
  FMaterielID  INTEGER,
  FMatBatchNo  TEXT COLLATE NOCASE DEFAULT '',
  FAmountRate  REAL NOT NULL DEFAULT 0,
  FQtyRate     REAL NOT NULL DEFAULT 0,
  FLayer       INTEGER NOT NULL DEFAULT 0,
  FDispLayer   TEXT COLLATE NOCASE DEFAULT '',
  FIsLeaf      INTEGER NOT NULL DEFAULT 0,
  FBranch      TEXT COLLATE NOCASE DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertStdInfo_Period
  ON CBCarriedCostRevertStdInfo (FYear, FPeriod);

CREATE TABLE CBCarriedCostRevertStdInfo_History (
  FID          INTEGER,
  FSchemeID    INTEGER,
  FYear        INTEGER NOT NULL,
  FPeriod      INTEGER NOT NULL,
  FCostObjID   INTEGER,
  FProductID   INTEGER,
  FProdBatchNo TEXT COLLATE NOCASE DEFAULT '',
  FCostItemID  INTEGER,
  FMaterielID  INTEGER,
  FMatBatchNo  TEXT COLLATE NOCASE DEFAULT '',
  FAmountRate  REAL NOT NULL DEFAULT 0,
  FQtyRate     REAL NOT NULL DEFAULT 0,
  FLayer       INTEGER NOT NULL DEFAULT 0,
  FDispLayer   TEXT COLLATE NOCASE DEFAULT '',
  FIsLeaf      INTEGER NOT NULL DEFAULT 0,
  FBranch      TEXT COLLATE NOCASE DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertStdInfo_History_Period
  ON CBCarriedCostRevertStdInfo_History (FYear, FPeriod);

CREATE TABLE CBCarriedCostRevertRealEndStk (
  FID            INTEGER PRIMARY KEY AUTOINCREMENT,
  FYear          INTEGER NOT NULL,
  FPeriod        INTEGER NOT NULL,
  FCostObjID     INTEGER,
  FProductID     INTEGER,
  FProdBatchNo   TEXT COLLATE NOCASE DEFAULT '',
  FCostItemID    INTEGER,
  FMaterielID    INTEGER,
  FMatBatchNo    TEXT COLLATE NOCASE DEFAULT '',
  FEndStkAmtRate REAL NOT NULL DEFAULT 0,
  FEndStkQtyRate REAL NOT NULL DEFAULT 0,
  FLayer         INTEGER NOT NULL DEFAULT 0,
  FDispLayer     TEXT COLLATE NOCASE DEFAULT '',
  FIsLeaf        INTEGER NOT NULL DEFAULT 0,
  FBranch        TEXT COLLATE NOCASE DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertRealEndStk_Period
  ON CBCarriedCostRevertRealEndStk (FYear, FPeriod);

CREATE TABLE CBCarriedCostRevertRealEndStk_History (
  FID            INTEGER,
  FYear          INTEGER NOT NULL,
  FPeriod        INTEGER NOT NULL,
  FCostObjID     INTEGER,
  FProductID     INTEGER,
  FProdBatchNo   TEXT COLLATE NOCASE DEFAULT '',
  FCostItemID    INTEGER,
  FMaterielID    INTEGER,
  FMatBatchNo    TEXT COLLATE NOCASE DEFAULT '',
  FEndStkAmtRate REAL NOT NULL DEFAULT 0,
  FEndStkQtyRate REAL NOT NULL DEFAULT 0,
  FLayer         INTEGER NOT NULL DEFAULT 0,
  FDispLayer     TEXT COLLATE NOCASE DEFAULT '',
  FIsLeaf        INTEGER NOT NULL DEFAULT 0,
  FBranch        TEXT COLLATE NOCASE DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertRealEndStk_History_Period
  ON CBCarriedCostRevertRealEndStk_History (FYear, FPeriod);

CREATE TABLE CBCarriedCostRevertRealEndBal (
  FID             INTEGER PRIMARY KEY AUTOINCREMENT,
  FYear           INTEGER NOT NULL,
  FPeriod         INTEGER NOT NULL,
  FCostObjID      INTEGER,
  FProductID      INTEGER,
  FProdBatchNo    TEXT COLLATE NOCASE DEFAULT '',
  FSubCostItemID  INTEGER,
  FSubCostObjID   INTEGER,
  FSubProductID   INTEGER,
  FSubProdBatchNo TEXT COLLATE NOCASE DEFAULT '',
  FCostItemID     INTEGER,
  FMaterielID     INTEGER,
  FMatBatchNo     TEXT COLLATE NOCASE DEFAULT '',
  FEndBalAmtRate  REAL NOT NULL DEFAULT 0,
  FEndBalQtyRate  REAL NOT NULL DEFAULT 0,
  FLayer          INTEGER NOT NULL DEFAULT 0,
  FDispLayer      TEXT COLLATE NOCASE DEFAULT '',
  FIsLeaf         INTEGER NOT NULL DEFAULT 0,
  FBranch         TEXT COLLATE NOCASE DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertRealEndBal_Period
  ON CBCarriedCostRevertRealEndBal (FYear, FPeriod);

CREATE TABLE CBCarriedCostRevertRealEndBal_History (
  FID             INTEGER,
  FYear           INTEGER NOT NULL,
  FPeriod         INTEGER NOT NULL,
  FCostObjID      INTEGER,
  FProductID      INTEGER,
  FProdBatchNo    TEXT COLLATE NOCASE DEFAULT '',
  FSubCostItemID  INTEGER,
  FSubCostObjID   INTEGER,
  FSubProductID   INTEGER,
  FSubProdBatchNo TEXT COLLATE NOCASE DEFAULT '',
  FCostItemID     INTEGER,
  FMaterielID     INTEGER,
  FMatBatchNo     TEXT COLLATE NOCASE DEFAULT '',
  FEndBalAmtRate  REAL NOT NULL DEFAULT 0,
  FEndBalQtyRate  REAL NOT NULL DEFAULT 0,
  FLayer          INTEGER NOT NULL DEFAULT 0,
  FDispLayer      TEXT COLLATE NOCASE DEFAULT '',
  FIsLeaf         INTEGER NOT NULL DEFAULT 0,
  FBranch         TEXT COLLATE NOCASE DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertRealEndBal_History_Period
  ON CBCarriedCostRevertRealEndBal_History (FYear, FPeriod);

-------------------------------------------------------------------------------
-- Material and expense distribution and their history twins
-------------------------------------------------------------------------------

-- Material distribution. FItemID is the identity (plain INTEGER in the twin).
CREATE TABLE cbMaterielInfo (
  FItemID       INTEGER PRIMARY KEY AUTOINCREMENT,
  FYear         INTEGER NOT NULL,
  FPeriod       INTEGER NOT NULL,
  FCostObjID    INTEGER,
  FInterID      INTEGER NOT NULL DEFAULT 0,
  FEntryID      INTEGER NOT NULL DEFAULT 0,
  FStdID        INTEGER NOT NULL DEFAULT 0,
  FCostItemID   INTEGER,
  FStandarddata REAL NOT NULL DEFAULT 0,
  FPrice        REAL NOT NULL DEFAULT 0,
  FQty          REAL NOT NULL DEFAULT 0,
  FAmount       REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbMaterielInfo_Period ON cbMaterielInfo (FYear, FPeriod);

CREATE TABLE cbMaterielInfo_History (
  FItemID       INTEGER,
  FYear         INTEGER NOT NULL,
  FPeriod       INTEGER NOT NULL,
  FCostObjID    INTEGER,
  FInterID      INTEGER NOT NULL DEFAULT 0,
  FEntryID      INTEGER NOT NULL DEFAULT 0,
  FStdID        INTEGER NOT NULL DEFAULT 0,
  FCostItemID   INTEGER,
  FStandarddata REAL NOT NULL DEFAULT 0,
  FPrice        REAL NOT NULL DEFAULT 0,
  FQty          REAL NOT NULL DEFAULT 0,
  FAmount       REAL NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbMaterielInfo_History_Period
  ON cbMaterielInfo_History (FYear, FPeriod);

-- Expense distribution (no identity; every column moves both ways).
CREATE TABLE cbExpenseDistributeInfo (
  FYear         INTEGER NOT NULL,
  FPeriod       INTEGER NOT NULL,
  FInterID      INTEGER NOT NULL DEFAULT 0,
  FCostObjID    INTEGER,
  FAmount       REAL NOT NULL DEFAULT 0,
  FCostItemID   INTEGER,
  FStandarddata REAL NOT NULL DEFAULT 0,
  FStandardID   INTEGER
);
CREATE INDEX ix_cbExpenseDistributeInfo_Period
  ON cbExpenseDistributeInfo (FYear, FPeriod);

CREATE TABLE cbExpenseDistributeInfo_History (
  FYear         INTEGER NOT NULL,
  FPeriod       INTEGER NOT NULL,
  FInterID      INTEGER NOT NULL DEFAULT 0,
  FCostObjID    INTEGER,
  FAmount       REAL NOT NULL DEFAULT 0,
  FCostItemID   INTEGER,
  FStandarddata REAL NOT NULL DEFAULT 0,
  FStandardID   INTEGER
);
CREATE INDEX ix_cbExpenseDistributeInfo_History_Period
  ON cbExpenseDistributeInfo_History (FYear, FPeriod);

-------------------------------------------------------------------------------
-- Opening balances and cost-object adjustments (check marks)
-------------------------------------------------------------------------------

-- Opening work-in-process entries. FVchInterID: voucher made for the entry,
-- 0 for none. FChecked 1/0; FCheckMan the checking user, 0 for none;
-- FCheckDate NULL when not checked.
CREATE TABLE CBOnInitBalance (
  FYear       INTEGER NOT NULL,
  FPeriod     INTEGER NOT NULL,
  FDeptID     INTEGER,
  FCostObjID  INTEGER,
  FCostItemID INTEGER,
  FQty        REAL NOT NULL DEFAULT 0,
  FAmount     REAL NOT NULL DEFAULT 0,
  FVchInterID INTEGER NOT NULL DEFAULT 0,
  FChecked    INTEGER NOT NULL DEFAULT 0,
  FCheckMan   INTEGER NOT NULL DEFAULT 0,
  FCheckDate  DATETEXT
);
CREATE INDEX ix_CBOnInitBalance_Period ON CBOnInitBalance (FYear, FPeriod);

-- Cost-object adjustments.
CREATE TABLE CBCostObjAdjustDetail (
  FYear       INTEGER NOT NULL,
  FPeriod     INTEGER NOT NULL,
  FDeptID     INTEGER,
  FCostObjID  INTEGER,
  FCostItemID INTEGER,
  FAmount     REAL NOT NULL DEFAULT 0,
  FChecked    INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBCostObjAdjustDetail_Period
  ON CBCostObjAdjustDetail (FYear, FPeriod);

-------------------------------------------------------------------------------
-- Seed rows
-------------------------------------------------------------------------------

-- The module's current period and the ledger's number of periods a year.
INSERT INTO t_SystemProfile (FCategory, FKey, FValue, FDescription) VALUES
  ('CB', 'CurrentYear', '2005', 'Current accounting year of the cost module'),
  ('CB', 'CurrentPeriod', '1', 'Current accounting period of the cost module'),
  ('GL', 'PeriodCount', '12', 'Accounting periods in a year');

-- ADO data types (codes of DataTypeEnum) as this database stores them.
-- FActualType is the type the provider reads such a column back as:
-- INTEGER 3, REAL 5, TEXT 202, DATETEXT 135, BLOB 205. Integers and
-- Booleans live in INTEGER columns (actual 3; big integers keep 20, since
-- values beyond 32 bits come back as doubles). Floating, currency, decimal
-- and numeric values live in REAL columns; decimal and numeric keep their
-- precision and scale limits, so that their names come out as "REAL(p,s)"
-- (REAL affinity still). Text of every kind is TEXT; the lengths are those
-- of the server's char/varchar (8000) and nchar/nvarchar (4000). A GUID is
-- held as its 38-character text form. Dates and times are DATETEXT (bound as
-- 135, written in the canonical text form). Binary values are BLOB.
-- FBindType keeps the requested kind where the provider converts by it
-- (a Boolean binds as 0/1); single and currency bind as doubles.
INSERT INTO t_DataTypeInfo (FDataType, FTypeName, FMaxPrecision, FMinScale,
                            FMaxScale, FActualType, FActualSize, FBindType)
VALUES
  (2,   'INTEGER',  NULL, NULL, NULL,   3, NULL,   2),  -- adSmallInt
  (3,   'INTEGER',  NULL, NULL, NULL,   3, NULL,   3),  -- adInteger
  (4,   'REAL',     NULL, NULL, NULL,   5, NULL,   5),  -- adSingle
  (5,   'REAL',     NULL, NULL, NULL,   5, NULL,   5),  -- adDouble
  (6,   'REAL',     NULL, NULL, NULL,   5, NULL,   5),  -- adCurrency
  (7,   'DATETEXT', NULL, NULL, NULL, 135, NULL, 135),  -- adDate
  (11,  'INTEGER',  NULL, NULL, NULL,   3, NULL,  11),  -- adBoolean
  (14,  'REAL',       38,    0,   38,   5, NULL,   5),  -- adDecimal
  (16,  'INTEGER',  NULL, NULL, NULL,   3, NULL,  16),  -- adTinyInt
  (20,  'INTEGER',  NULL, NULL, NULL,  20, NULL,  20),  -- adBigInt
  (72,  'TEXT',     NULL, NULL, NULL, 202,   38, 202),  -- adGUID
  (128, 'BLOB()',   8000, NULL, NULL, 205, NULL, 204),  -- adBinary
  (129, 'TEXT()',   8000, NULL, NULL, 202, NULL, 202),  -- adChar
  (130, 'TEXT()',   4000, NULL, NULL, 202, NULL, 202),  -- adWChar
  (131, 'REAL',       38,    0,   38,   5, NULL,   5),  -- adNumeric
  (133, 'DATETEXT', NULL, NULL, NULL, 135, NULL, 135),  -- adDBDate
  (134, 'DATETEXT', NULL, NULL, NULL, 135, NULL, 135),  -- adDBTime
  (135, 'DATETEXT', NULL, NULL, NULL, 135, NULL, 135),  -- adDBTimeStamp
  (200, 'TEXT()',   8000, NULL, NULL, 202, NULL, 202),  -- adVarChar
  (201, 'TEXT',     NULL, NULL, NULL, 202, NULL, 203),  -- adLongVarChar
  (202, 'TEXT()',   4000, NULL, NULL, 202, NULL, 202),  -- adVarWChar
  (203, 'TEXT',     NULL, NULL, NULL, 202, NULL, 203),  -- adLongVarWChar
  (204, 'BLOB()',   8000, NULL, NULL, 205, NULL, 204),  -- adVarBinary
  (205, 'BLOB',     NULL, NULL, NULL, 205, NULL, 205);  -- adLongVarBinary

-- Texts of the validation errors.
INSERT INTO CB_BmErrCode (FCode, FDescriptive, FDescriptive_CHT,
                          FDescriptive_EN) VALUES
  (10000, '必须输入的数据不能为空', '必須輸入的資料不能為空',
   'A required value is missing'),
  (10001, '数据超出允许的范围', '資料超出允許的範圍',
   'The value is out of the allowed range'),
  (10002, '日期不正确', '日期不正確',
   'The date is not valid'),
  (10003, '编码格式不正确', '編碼格式不正確',
   'The code does not have the expected form'),
  (10004, '数据类型不符，无法转换', '資料類型不符，無法轉換',
   'The value cannot be converted to the type of the field'),
  (10005, '数据长度超过允许的长度', '資料長度超過允許的長度',
   'The value is longer than the field allows'),
  (10006, '该数据已经存在，不能重复', '該資料已經存在，不能重複',
   'The value already exists and must be unique'),
  (10007, '该记录已经存在', '該記錄已經存在',
   'The record already exists'),
  (10008, '要修改的记录不存在', '要修改的記錄不存在',
   'The record to be changed does not exist'),
  (10009, '数据不在允许的取值范围内', '資料不在允許的取值範圍內',
   'The value is not one of the allowed values'),
  (10010, '引用的编码或记录不存在', '引用的編碼或記錄不存在',
   'The referenced code or record does not exist');

-- Texts of the error items used for the cost balance table's fields.
INSERT INTO CB_BmErrItem (FItem, FDescriptive) VALUES
  (10000, '产品（成本对象）'),
  (10015, '成本项目'),
  (10018, '费用项目'),
  (10022, '费用部门'),
  (10034, '会计年度'),
  (10035, '会计期间'),
  (10038, '本期发生额'),
  (10040, '数量'),
  (10041, '单价'),
  (10042, '批号'),
  (10043, '余额');

RELEASE erp_schema;
