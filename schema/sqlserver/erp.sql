-- ERP database schema for SQL Server (2016 or later), for an integrator to
-- create the tables the closing component reads and writes. The component
-- reaches it through the ODBC provider (FreeTDS driver) and sends its
-- statements as written.
--
-- The same tables, columns, keys, indexes and seed rows as the embedded
-- SQLite schema (schema/sqlite/erp.sql), in this server's own types. Run it
-- once, as one batch, on a new database whose collation compares without
-- regard to letter case (the server's usual default, e.g.
-- Chinese_PRC_CI_AS), e.g.
--   sqlcmd -b -d ERP -i schema/sqlserver/erp.sql
-- It runs as one transaction (all or nothing).
--
-- Conventions
-- - Whole numbers (years, periods, row types, internal identifiers, flags)
--   are INT.
-- - Amounts, quantities, prices and rates are FLOAT (doubles, as the
--   amounts the component computes are).
-- - Text is NVARCHAR(255) under the database's case-insensitive collation;
--   text literals of the seed rows are national (N'...') so that Chinese
--   text survives any code page.
-- - Dates and times are DATETIME.
-- - Booleans and check marks are INT (1 set, 0 clear).
-- - Every column that some statement does not set has a default or allows
--   NULL. Amount and quantity columns default to 0. FYear and FPeriod are
--   NOT NULL on every per-period table.
-- - Identity columns: FID of the three cost-revert working tables and
--   FItemID of cbMaterielInfo are IDENTITY(1,1), filled by the server when
--   an INSERT leaves them out (the restore direction of the history moves
--   does exactly that). Their "_History" twins keep the same column as a
--   plain INT, neither a key nor unique; twins have identical column lists
--   and order.
-- - Indexes: every per-period table has an index that starts with
--   (FYear, FPeriod); the daily-costing tables are also indexed on their
--   date window. (The SQLite and PostgreSQL schemas also index the period
--   key expression FYear+0.0001*FPeriod; this server indexes expressions
--   only through computed columns, which would add a column to the tables,
--   so the (FYear, FPeriod) indexes serve those deletions here.)
-- - Internal identifiers of departments, cost objects, products, cost items,
--   materials and standards in the monthly, daily, standard, allocation,
--   cost-revert and distribution tables are INT; the base tables (CB_Bm...)
--   and CB_CostBalance use text codes; the total item of the cost balance
--   lists is the code '*'. Batch numbers are text.
-- - Writers serialise on an application lock the provider takes in the
--   transaction (sp_getapplock 'MarlCheckOut.Writer'); the schema needs
--   nothing for it.

SET XACT_ABORT ON;
BEGIN TRANSACTION;


-------------------------------------------------------------------------------
-- System tables
-------------------------------------------------------------------------------

-- The ERP system profile: one row per setting of a module (category).
-- Read: profile reads (current year and period of 'CB', 'GL' period count).
-- Written: the current-period update of a close and the profile write.
-- Not unique on (FCategory, FKey): a reader takes the first row.
CREATE TABLE t_SystemProfile (
  FCategory    NVARCHAR(255) NOT NULL,
  FKey         NVARCHAR(255) NOT NULL,
  FValue       NVARCHAR(255),
  FDescription NVARCHAR(255) DEFAULT ''
);
CREATE INDEX ix_t_SystemProfile_Key ON t_SystemProfile (FCategory, FKey);

-- Data type descriptions, one row per ADO data type code (FDataType). Read
-- once per process by the data source to name column types and to choose
-- the type a parameter binds with.
--   FTypeName      the database's type name; "()" marks where precision and
--                  scale go
--   FMaxPrecision  largest precision or length; NULL when the type takes none
--   FMinScale, FMaxScale  scale limits; NULL when the type has no scale
--   FActualType    ADO code of what the column really holds
--   FActualSize    size of the actual column; NULL: the requested precision
--   FBindType      ADO code parameters of this type are bound with
-- FDataType is unique but may be NULL (a NULL row is a broken description
-- that the reader reports).
CREATE TABLE t_DataTypeInfo (
  FDataType     INT,
  FTypeName     NVARCHAR(255),
  FMaxPrecision INT,
  FMinScale     INT,
  FMaxScale     INT,
  FActualType   INT,
  FActualSize   INT,
  FBindType     INT
);
CREATE UNIQUE INDEX ux_t_DataTypeInfo ON t_DataTypeInfo (FDataType);

-- Stored procedures the database offers, by name; empty, and read by the
-- data source.
CREATE TABLE t_SupportedProc (
  FProcName NVARCHAR(255) NOT NULL
);
CREATE UNIQUE INDEX ux_t_SupportedProc ON t_SupportedProc (FProcName);

-- Texts of the validation errors 10000 and up, in three languages.
CREATE TABLE CB_BmErrCode (
  FCode            INT PRIMARY KEY,
  FDescriptive     NVARCHAR(255),
  FDescriptive_CHT NVARCHAR(255),
  FDescriptive_EN  NVARCHAR(255)
);

-- Texts of the error items (the column or object in error); one text for
-- every language.
CREATE TABLE CB_BmErrItem (
  FItem        INT PRIMARY KEY,
  FDescriptive NVARCHAR(255)
);

-------------------------------------------------------------------------------
-- Base tables (codes are text)
-------------------------------------------------------------------------------

-- Cost items. The cost balance lists pair every cost item with every
-- department and product, plus the total item '*'.
CREATE TABLE CB_BmItem (
  FID   NVARCHAR(255) NOT NULL PRIMARY KEY,
  FName NVARCHAR(255) NOT NULL DEFAULT ''
);

-- Expense departments. FType 0 marks the departments a close walks through.
CREATE TABLE CB_BmExpDept (
  FID   NVARCHAR(255) NOT NULL PRIMARY KEY,
  FName NVARCHAR(255) NOT NULL DEFAULT '',
  FType INT NOT NULL DEFAULT 0
);

-- Products (cost objects). FType: 1, 2 or 3; 3 is a batch product.
-- FPrecision and FPPrecision are the decimal places of quantities and prices.
CREATE TABLE CB_BmProduct (
  FID         NVARCHAR(255) NOT NULL PRIMARY KEY,
  FName       NVARCHAR(255) NOT NULL DEFAULT '',
  FType       INT NOT NULL DEFAULT 1,
  FPrecision  INT NOT NULL DEFAULT 2,
  FPPrecision INT NOT NULL DEFAULT 2
);
CREATE INDEX ix_CB_BmProduct_Type ON CB_BmProduct (FType);

-- Materials. FRem is the material's remark (grade, model).
CREATE TABLE CB_BmMateriel (
  FID         NVARCHAR(255) NOT NULL PRIMARY KEY,
  FName       NVARCHAR(255) NOT NULL DEFAULT '',
  FRem        NVARCHAR(255) DEFAULT '',
  FPrecision  INT NOT NULL DEFAULT 2,
  FPPrecision INT NOT NULL DEFAULT 2
);

-- Allocation standards (codes that the command builder's "code in use"
-- check may be asked about).
CREATE TABLE CB_BmStandard (
  FID   NVARCHAR(255) NOT NULL PRIMARY KEY,
  FName NVARCHAR(255) NOT NULL DEFAULT ''
);

-- Batch quantity of a cost object (batch products).
CREATE TABLE CB_BmCostObj_Product (
  FCostObjID NVARCHAR(255) NOT NULL PRIMARY KEY,
  FComQty    FLOAT NOT NULL DEFAULT 0
);

-- Completed quantities of products per period (batch completion state).
CREATE TABLE CB_CompleteProductInfo (
  FYear      INT NOT NULL,
  FPeriod    INT NOT NULL,
  FExpDeptID NVARCHAR(255) DEFAULT '',
  FProductID NVARCHAR(255) NOT NULL,
  FQty       FLOAT NOT NULL DEFAULT 0
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
  FYear         INT NOT NULL,
  FPeriod       INT NOT NULL,
  FCostID       NVARCHAR(255) NOT NULL,
  FCostName     NVARCHAR(255) DEFAULT '',
  FExpDeptID    NVARCHAR(255) NOT NULL,
  FExpDeptName  NVARCHAR(255),
  FProductID    NVARCHAR(255) NOT NULL,
  FProductName  NVARCHAR(255),
  FExpenseID    NVARCHAR(255) DEFAULT ' ',
  FBegBal       FLOAT DEFAULT 0,
  FQty          FLOAT DEFAULT 0,
  FAccount      FLOAT DEFAULT 0,
  FCalPrice     FLOAT DEFAULT 0,
  FPrice        FLOAT DEFAULT 0,
  FEndBal       FLOAT DEFAULT 0,
  FCompleQty    FLOAT DEFAULT 0,
  FOnlineQty    FLOAT DEFAULT 0,
  FOnlineJorQty FLOAT DEFAULT 0,
  FBatch        NVARCHAR(255) DEFAULT ''
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
  FYear      INT NOT NULL,
  FPeriod    INT NOT NULL,
  FDepID     INT,
  FCostID    INT NOT NULL DEFAULT 0,
  FProductID INT,
  FQty       FLOAT NOT NULL DEFAULT 0,
  FBegBal    FLOAT NOT NULL DEFAULT 0,
  FOnlnQty   FLOAT NOT NULL DEFAULT 0,
  FEndBal    FLOAT NOT NULL DEFAULT 0,
  FTypeID    INT NOT NULL
);
CREATE INDEX ix_cbBalance_Period ON cbBalance (FYear, FPeriod, FTypeID);

-- Beginning work-in-process detail by material and batch.
CREATE TABLE cbCostObjDetail (
  FYear       INT NOT NULL,
  FPeriod     INT NOT NULL,
  FDepID      INT,
  FCostObjID  INT,
  FCostItemID INT,
  FMaterielID INT,
  FBatchNo    NVARCHAR(255) DEFAULT '',
  FQty        FLOAT NOT NULL DEFAULT 0,
  FSum        FLOAT NOT NULL DEFAULT 0,
  FPrice      FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbCostObjDetail_Period ON cbCostObjDetail (FYear, FPeriod);

-- Counted work-in-process quantity per cost object (source of type 3 rows).
CREATE TABLE cbCostObjCheck (
  FYear      INT NOT NULL,
  FPeriod    INT NOT NULL,
  FDeptID    INT,
  FCostObjID INT,
  FQty       FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbCostObjCheck_Period ON cbCostObjCheck (FYear, FPeriod);

-- Cost calculation result per cost object and cost item (source of type 4
-- rows). FOnlineAmount is the work-in-process amount.
CREATE TABLE cbCalinfo (
  FYear         INT NOT NULL,
  FPeriod       INT NOT NULL,
  FDeptID       INT,
  FCostItemID   INT NOT NULL DEFAULT 0,
  FCostObjID    INT,
  FBegAmount    FLOAT NOT NULL DEFAULT 0,
  FAmount       FLOAT NOT NULL DEFAULT 0,
  FCompleAmount FLOAT NOT NULL DEFAULT 0,
  FOnlineAmount FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbCalinfo_Period ON cbCalinfo (FYear, FPeriod);

-- Calculation detail by material and batch (source of the beginning detail,
-- monthly and daily).
CREATE TABLE cbCalinfoDetail (
  FYear         INT NOT NULL,
  FPeriod       INT NOT NULL,
  FDeptID       INT,
  FCostObjID    INT,
  FCostItemID   INT,
  FMaterielID   INT,
  FBatchNo      NVARCHAR(255) DEFAULT '',
  FOnlineQty    FLOAT NOT NULL DEFAULT 0,
  FOnlineAmount FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbCalinfoDetail_Period ON cbCalinfoDetail (FYear, FPeriod);

-------------------------------------------------------------------------------
-- Standards and allocation data (copied into the next period at a close)
-------------------------------------------------------------------------------

CREATE TABLE CBRationStandardInfo (
  FYear       INT NOT NULL,
  FPeriod     INT NOT NULL,
  FDeptID     INT,
  FCostObjID  INT,
  FStandardID INT,
  FCostItemID INT,
  FQty        FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBRationStandardInfo_Period
  ON CBRationStandardInfo (FYear, FPeriod);

CREATE TABLE CBStdSalaryRate (
  FYear       INT NOT NULL,
  FPeriod     INT NOT NULL,
  FCostObjID  INT,
  FSalaryRate FLOAT NOT NULL DEFAULT 0,
  FCostItemID INT
);
CREATE INDEX ix_CBStdSalaryRate_Period ON CBStdSalaryRate (FYear, FPeriod);

CREATE TABLE CBStdStdManhour (
  FYear       INT NOT NULL,
  FPeriod     INT NOT NULL,
  FCostObjID  INT,
  FStdManHour FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBStdStdManhour_Period ON CBStdStdManhour (FYear, FPeriod);

CREATE TABLE CBStdFloatMakeRate (
  FYear          INT NOT NULL,
  FPeriod        INT NOT NULL,
  FCostObjID     INT,
  FFloatMakeRate FLOAT NOT NULL DEFAULT 0,
  FCostItemID    INT
);
CREATE INDEX ix_CBStdFloatMakeRate_Period
  ON CBStdFloatMakeRate (FYear, FPeriod);

-- Standard price per item (material).
CREATE TABLE CBStdStdPrice (
  FYear     INT NOT NULL,
  FPeriod   INT NOT NULL,
  FItemID   INT,
  FStdPrice FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBStdStdPrice_Period ON CBStdStdPrice (FYear, FPeriod);

CREATE TABLE CBStdfixedMakebudget (
  FYear            INT NOT NULL,
  FPeriod          INT NOT NULL,
  FCostObjID       INT,
  FDeptID          INT,
  FFixedMakeBudget FLOAT NOT NULL DEFAULT 0,
  FCostItemID      INT
);
CREATE INDEX ix_CBStdfixedMakebudget_Period
  ON CBStdfixedMakebudget (FYear, FPeriod);

CREATE TABLE CBStdBudgetOutput (
  FYear       INT NOT NULL,
  FPeriod     INT NOT NULL,
  FCostObjID  INT,
  FDeptID     INT,
  FOutProduct FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBStdBudgetOutput_Period
  ON CBStdBudgetOutput (FYear, FPeriod);

-- Price per cost type, cost object and cost item.
CREATE TABLE cbCostTypeInfo (
  FYear       INT NOT NULL,
  FPeriod     INT NOT NULL,
  FCostTypeID INT,
  FCostObjID  INT,
  FCostItemID INT,
  FPrice      FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbCostTypeInfo_Period ON cbCostTypeInfo (FYear, FPeriod);

-- Allocation standards.
CREATE TABLE CBSortStandardInfo (
  FYear       INT NOT NULL,
  FPeriod     INT NOT NULL,
  FDeptID     INT,
  FCostObjID  INT,
  FStandardID INT,
  FCostItemID INT,
  FProductID  INT,
  FQty        FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBSortStandardInfo_Period
  ON CBSortStandardInfo (FYear, FPeriod);

-- By-product amounts.
CREATE TABLE CBDeputyInfo (
  FYear       INT NOT NULL,
  FPeriod     INT NOT NULL,
  FCostItemID INT,
  FProductID  INT,
  FAmount     FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBDeputyInfo_Period ON CBDeputyInfo (FYear, FPeriod);

-------------------------------------------------------------------------------
-- Daily costing
-------------------------------------------------------------------------------

-- Calendar of daily-costing cycles: for each accounting period its cycles
-- (code up to 10 characters) with their first and last day.
CREATE TABLE CBPeriodDate (
  FYear            INT NOT NULL,
  FPeriod          INT NOT NULL,
  FYearPeriodCycle NVARCHAR(255) NOT NULL,
  FPeriodStartDay  DATETIME NOT NULL,
  FPeriodEndDay    DATETIME NOT NULL
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
  FYear            INT NOT NULL,
  FPeriod          INT NOT NULL,
  FDepID           INT,
  FCostID          INT NOT NULL DEFAULT 0,
  FProductID       INT,
  FQty             FLOAT NOT NULL DEFAULT 0,
  FBegBal          FLOAT NOT NULL DEFAULT 0,
  FOnlnQty         FLOAT NOT NULL DEFAULT 0,
  FEndBal          FLOAT NOT NULL DEFAULT 0,
  FTypeID          INT NOT NULL,
  FPerBeginDate    DATETIME NOT NULL,
  FPerEndDate      DATETIME NOT NULL,
  FYearPeriodCycle NVARCHAR(255)
);
CREATE INDEX ix_DayCost_Balance_Period
  ON DayCost_Balance (FYear, FPeriod, FTypeID);
CREATE INDEX ix_DayCost_Balance_Window
  ON DayCost_Balance (FPerBeginDate, FPerEndDate);

-- Daily-costing beginning work-in-process detail.
CREATE TABLE DayCost_CostObjDetail (
  FYear            INT NOT NULL,
  FPeriod          INT NOT NULL,
  FDepID           INT,
  FCostObjID       INT,
  FCostItemID      INT,
  FMaterielID      INT,
  FBatchNo         NVARCHAR(255) DEFAULT '',
  FQty             FLOAT NOT NULL DEFAULT 0,
  FSum             FLOAT NOT NULL DEFAULT 0,
  FPrice           FLOAT NOT NULL DEFAULT 0,
  FPerBeginDate    DATETIME NOT NULL,
  FPerEndDate      DATETIME NOT NULL,
  FYearPeriodCycle NVARCHAR(255)
);
CREATE INDEX ix_DayCost_CostObjDetail_Period
  ON DayCost_CostObjDetail (FYear, FPeriod);
CREATE INDEX ix_DayCost_CostObjDetail_Window
  ON DayCost_CostObjDetail (FPerBeginDate, FPerEndDate);

-- Counted work-in-process quantity of a daily-costing period.
CREATE TABLE DayCost_ObjCheck (
  FYear            INT,
  FPeriod          INT,
  FDeptID          INT,
  FCostObjID       INT,
  FQty             FLOAT NOT NULL DEFAULT 0,
  FPerBeginDate    DATETIME NOT NULL,
  FPerEndDate      DATETIME NOT NULL,
  FYearPeriodCycle NVARCHAR(255)
);
CREATE INDEX ix_DayCost_ObjCheck_Period ON DayCost_ObjCheck (FYear, FPeriod);
CREATE INDEX ix_DayCost_ObjCheck_Window
  ON DayCost_ObjCheck (FPerBeginDate, FPerEndDate);

-- Cost calculation result of a daily-costing period.
CREATE TABLE DayCost_Calinfo (
  FYear            INT,
  FPeriod          INT,
  FDeptID          INT,
  FCostItemID      INT NOT NULL DEFAULT 0,
  FCostObjID       INT,
  FOnlineAmount    FLOAT NOT NULL DEFAULT 0,
  FPerBeginDate    DATETIME NOT NULL,
  FPerEndDate      DATETIME NOT NULL,
  FYearPeriodCycle NVARCHAR(255)
);
CREATE INDEX ix_DayCost_Calinfo_Period ON DayCost_Calinfo (FYear, FPeriod);
CREATE INDEX ix_DayCost_Calinfo_Window
  ON DayCost_Calinfo (FPerBeginDate, FPerEndDate);

-- Calculation detail of a daily-costing period.
CREATE TABLE DayCost_CalinfoDetail (
  FYear            INT,
  FPeriod          INT,
  FDeptID          INT,
  FCostObjID       INT,
  FCostItemID      INT,
  FMaterielID      INT,
  FBatchNo         NVARCHAR(255) DEFAULT '',
  FOnlineQty       FLOAT NOT NULL DEFAULT 0,
  FOnlineAmount    FLOAT NOT NULL DEFAULT 0,
  FPerBeginDate    DATETIME NOT NULL,
  FPerEndDate      DATETIME NOT NULL,
  FYearPeriodCycle NVARCHAR(255)
);
CREATE INDEX ix_DayCost_CalinfoDetail_Period
  ON DayCost_CalinfoDetail (FYear, FPeriod);
CREATE INDEX ix_DayCost_CalinfoDetail_Window
  ON DayCost_CalinfoDetail (FPerBeginDate, FPerEndDate);

-------------------------------------------------------------------------------
-- Cost-revert ratios and their history twins
-- (identity FID in the working tables, plain INT in the twins; see the
-- conventions above)
-------------------------------------------------------------------------------

CREATE TABLE CBCarriedCostRevertStdInfo (
  FID          INT IDENTITY(1,1) NOT NULL PRIMARY KEY,
  FSchemeID    INT,
  FYear        INT NOT NULL,
  FPeriod      INT NOT NULL,
  FCostObjID   INT,
  FProductID   INT,
  FProdBatchNo NVARCHAR(255) DEFAULT '',
  FCostItemID  INT,
  FMaterielID  INT,
  FMatBatchNo  NVARCHAR(255) DEFAULT '',
  FAmountRate  FLOAT NOT NULL DEFAULT 0,
  FQtyRate     FLOAT NOT NULL DEFAULT 0,
  FLayer       INT NOT NULL DEFAULT 0,
  FDispLayer   NVARCHAR(255) DEFAULT '',
  FIsLeaf      INT NOT NULL DEFAULT 0,
  FBranch      NVARCHAR(255) DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertStdInfo_Period
  ON CBCarriedCostRevertStdInfo (FYear, FPeriod);

CREATE TABLE CBCarriedCostRevertStdInfo_History (
  FID          INT,
  FSchemeID    INT,
  FYear        INT NOT NULL,
  FPeriod      INT NOT NULL,
  FCostObjID   INT,
  FProductID   INT,
  FProdBatchNo NVARCHAR(255) DEFAULT '',
  FCostItemID  INT,
  FMaterielID  INT,
  FMatBatchNo  NVARCHAR(255) DEFAULT '',
  FAmountRate  FLOAT NOT NULL DEFAULT 0,
  FQtyRate     FLOAT NOT NULL DEFAULT 0,
  FLayer       INT NOT NULL DEFAULT 0,
  FDispLayer   NVARCHAR(255) DEFAULT '',
  FIsLeaf      INT NOT NULL DEFAULT 0,
  FBranch      NVARCHAR(255) DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertStdInfo_History_Period
  ON CBCarriedCostRevertStdInfo_History (FYear, FPeriod);

CREATE TABLE CBCarriedCostRevertRealEndStk (
  FID            INT IDENTITY(1,1) NOT NULL PRIMARY KEY,
  FYear          INT NOT NULL,
  FPeriod        INT NOT NULL,
  FCostObjID     INT,
  FProductID     INT,
  FProdBatchNo   NVARCHAR(255) DEFAULT '',
  FCostItemID    INT,
  FMaterielID    INT,
  FMatBatchNo    NVARCHAR(255) DEFAULT '',
  FEndStkAmtRate FLOAT NOT NULL DEFAULT 0,
  FEndStkQtyRate FLOAT NOT NULL DEFAULT 0,
  FLayer         INT NOT NULL DEFAULT 0,
  FDispLayer     NVARCHAR(255) DEFAULT '',
  FIsLeaf        INT NOT NULL DEFAULT 0,
  FBranch        NVARCHAR(255) DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertRealEndStk_Period
  ON CBCarriedCostRevertRealEndStk (FYear, FPeriod);

CREATE TABLE CBCarriedCostRevertRealEndStk_History (
  FID            INT,
  FYear          INT NOT NULL,
  FPeriod        INT NOT NULL,
  FCostObjID     INT,
  FProductID     INT,
  FProdBatchNo   NVARCHAR(255) DEFAULT '',
  FCostItemID    INT,
  FMaterielID    INT,
  FMatBatchNo    NVARCHAR(255) DEFAULT '',
  FEndStkAmtRate FLOAT NOT NULL DEFAULT 0,
  FEndStkQtyRate FLOAT NOT NULL DEFAULT 0,
  FLayer         INT NOT NULL DEFAULT 0,
  FDispLayer     NVARCHAR(255) DEFAULT '',
  FIsLeaf        INT NOT NULL DEFAULT 0,
  FBranch        NVARCHAR(255) DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertRealEndStk_History_Period
  ON CBCarriedCostRevertRealEndStk_History (FYear, FPeriod);

CREATE TABLE CBCarriedCostRevertRealEndBal (
  FID             INT IDENTITY(1,1) NOT NULL PRIMARY KEY,
  FYear           INT NOT NULL,
  FPeriod         INT NOT NULL,
  FCostObjID      INT,
  FProductID      INT,
  FProdBatchNo    NVARCHAR(255) DEFAULT '',
  FSubCostItemID  INT,
  FSubCostObjID   INT,
  FSubProductID   INT,
  FSubProdBatchNo NVARCHAR(255) DEFAULT '',
  FCostItemID     INT,
  FMaterielID     INT,
  FMatBatchNo     NVARCHAR(255) DEFAULT '',
  FEndBalAmtRate  FLOAT NOT NULL DEFAULT 0,
  FEndBalQtyRate  FLOAT NOT NULL DEFAULT 0,
  FLayer          INT NOT NULL DEFAULT 0,
  FDispLayer      NVARCHAR(255) DEFAULT '',
  FIsLeaf         INT NOT NULL DEFAULT 0,
  FBranch         NVARCHAR(255) DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertRealEndBal_Period
  ON CBCarriedCostRevertRealEndBal (FYear, FPeriod);

CREATE TABLE CBCarriedCostRevertRealEndBal_History (
  FID             INT,
  FYear           INT NOT NULL,
  FPeriod         INT NOT NULL,
  FCostObjID      INT,
  FProductID      INT,
  FProdBatchNo    NVARCHAR(255) DEFAULT '',
  FSubCostItemID  INT,
  FSubCostObjID   INT,
  FSubProductID   INT,
  FSubProdBatchNo NVARCHAR(255) DEFAULT '',
  FCostItemID     INT,
  FMaterielID     INT,
  FMatBatchNo     NVARCHAR(255) DEFAULT '',
  FEndBalAmtRate  FLOAT NOT NULL DEFAULT 0,
  FEndBalQtyRate  FLOAT NOT NULL DEFAULT 0,
  FLayer          INT NOT NULL DEFAULT 0,
  FDispLayer      NVARCHAR(255) DEFAULT '',
  FIsLeaf         INT NOT NULL DEFAULT 0,
  FBranch         NVARCHAR(255) DEFAULT ''
);
CREATE INDEX ix_CBCarriedCostRevertRealEndBal_History_Period
  ON CBCarriedCostRevertRealEndBal_History (FYear, FPeriod);

-------------------------------------------------------------------------------
-- Material and expense distribution and their history twins
-------------------------------------------------------------------------------

-- Material distribution. FItemID is the identity (plain INT in the twin).
CREATE TABLE cbMaterielInfo (
  FItemID       INT IDENTITY(1,1) NOT NULL PRIMARY KEY,
  FYear         INT NOT NULL,
  FPeriod       INT NOT NULL,
  FCostObjID    INT,
  FInterID      INT NOT NULL DEFAULT 0,
  FEntryID      INT NOT NULL DEFAULT 0,
  FStdID        INT NOT NULL DEFAULT 0,
  FCostItemID   INT,
  FStandarddata FLOAT NOT NULL DEFAULT 0,
  FPrice        FLOAT NOT NULL DEFAULT 0,
  FQty          FLOAT NOT NULL DEFAULT 0,
  FAmount       FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbMaterielInfo_Period ON cbMaterielInfo (FYear, FPeriod);

CREATE TABLE cbMaterielInfo_History (
  FItemID       INT,
  FYear         INT NOT NULL,
  FPeriod       INT NOT NULL,
  FCostObjID    INT,
  FInterID      INT NOT NULL DEFAULT 0,
  FEntryID      INT NOT NULL DEFAULT 0,
  FStdID        INT NOT NULL DEFAULT 0,
  FCostItemID   INT,
  FStandarddata FLOAT NOT NULL DEFAULT 0,
  FPrice        FLOAT NOT NULL DEFAULT 0,
  FQty          FLOAT NOT NULL DEFAULT 0,
  FAmount       FLOAT NOT NULL DEFAULT 0
);
CREATE INDEX ix_cbMaterielInfo_History_Period
  ON cbMaterielInfo_History (FYear, FPeriod);

-- Expense distribution (no identity; every column moves both ways).
CREATE TABLE cbExpenseDistributeInfo (
  FYear         INT NOT NULL,
  FPeriod       INT NOT NULL,
  FInterID      INT NOT NULL DEFAULT 0,
  FCostObjID    INT,
  FAmount       FLOAT NOT NULL DEFAULT 0,
  FCostItemID   INT,
  FStandarddata FLOAT NOT NULL DEFAULT 0,
  FStandardID   INT
);
CREATE INDEX ix_cbExpenseDistributeInfo_Period
  ON cbExpenseDistributeInfo (FYear, FPeriod);

CREATE TABLE cbExpenseDistributeInfo_History (
  FYear         INT NOT NULL,
  FPeriod       INT NOT NULL,
  FInterID      INT NOT NULL DEFAULT 0,
  FCostObjID    INT,
  FAmount       FLOAT NOT NULL DEFAULT 0,
  FCostItemID   INT,
  FStandarddata FLOAT NOT NULL DEFAULT 0,
  FStandardID   INT
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
  FYear       INT NOT NULL,
  FPeriod     INT NOT NULL,
  FDeptID     INT,
  FCostObjID  INT,
  FCostItemID INT,
  FQty        FLOAT NOT NULL DEFAULT 0,
  FAmount     FLOAT NOT NULL DEFAULT 0,
  FVchInterID INT NOT NULL DEFAULT 0,
  FChecked    INT NOT NULL DEFAULT 0,
  FCheckMan   INT NOT NULL DEFAULT 0,
  FCheckDate  DATETIME
);
CREATE INDEX ix_CBOnInitBalance_Period ON CBOnInitBalance (FYear, FPeriod);

-- Cost-object adjustments.
CREATE TABLE CBCostObjAdjustDetail (
  FYear       INT NOT NULL,
  FPeriod     INT NOT NULL,
  FDeptID     INT,
  FCostObjID  INT,
  FCostItemID INT,
  FAmount     FLOAT NOT NULL DEFAULT 0,
  FChecked    INT NOT NULL DEFAULT 0
);
CREATE INDEX ix_CBCostObjAdjustDetail_Period
  ON CBCostObjAdjustDetail (FYear, FPeriod);

-------------------------------------------------------------------------------
-- Seed rows
-------------------------------------------------------------------------------

-- The module's current period and the ledger's number of periods a year.
INSERT INTO t_SystemProfile (FCategory, FKey, FValue, FDescription) VALUES
  (N'CB', N'CurrentYear', N'2005', N'Current accounting year of the cost module'),
  (N'CB', N'CurrentPeriod', N'1', N'Current accounting period of the cost module'),
  (N'GL', N'PeriodCount', N'12', N'Accounting periods in a year');

-- ADO data types (codes of DataTypeEnum) as this database stores them,
-- with the ADO code the ODBC provider reads each back as (FActualType) and
-- binds its parameters with (FBindType).
INSERT INTO t_DataTypeInfo (FDataType, FTypeName, FMaxPrecision, FMinScale,
                            FMaxScale, FActualType, FActualSize, FBindType)
VALUES
  (2,   N'int',            NULL, NULL, NULL,   3, NULL,   2),  -- adSmallInt
  (3,   N'int',            NULL, NULL, NULL,   3, NULL,   3),  -- adInteger
  (4,   N'float',          NULL, NULL, NULL,   5, NULL,   5),  -- adSingle
  (5,   N'float',          NULL, NULL, NULL,   5, NULL,   5),  -- adDouble
  (6,   N'float',          NULL, NULL, NULL,   5, NULL,   5),  -- adCurrency
  (7,   N'datetime',       NULL, NULL, NULL, 135, NULL, 135),  -- adDate
  (11,  N'int',            NULL, NULL, NULL,   3, NULL,  11),  -- adBoolean
  (14,  N'decimal()',        38,    0,   38,   5, NULL,   5),  -- adDecimal
  (16,  N'int',            NULL, NULL, NULL,   3, NULL,  16),  -- adTinyInt
  (20,  N'bigint',         NULL, NULL, NULL,  20, NULL,  20),  -- adBigInt
  (72,  N'nvarchar(38)',   NULL, NULL, NULL, 202,   38, 202),  -- adGUID
  (128, N'varbinary()',    8000, NULL, NULL, 205, NULL, 204),  -- adBinary
  (129, N'varchar()',      8000, NULL, NULL, 202, NULL, 202),  -- adChar
  (130, N'nvarchar()',     4000, NULL, NULL, 202, NULL, 202),  -- adWChar
  (131, N'decimal()',        38,    0,   38,   5, NULL,   5),  -- adNumeric
  (133, N'datetime',       NULL, NULL, NULL, 135, NULL, 135),  -- adDBDate
  (134, N'datetime',       NULL, NULL, NULL, 135, NULL, 135),  -- adDBTime
  (135, N'datetime',       NULL, NULL, NULL, 135, NULL, 135),  -- adDBTimeStamp
  (200, N'varchar()',      8000, NULL, NULL, 202, NULL, 202),  -- adVarChar
  (201, N'nvarchar(max)',  NULL, NULL, NULL, 202, NULL, 203),  -- adLongVarChar
  (202, N'nvarchar()',     4000, NULL, NULL, 202, NULL, 202),  -- adVarWChar
  (203, N'nvarchar(max)',  NULL, NULL, NULL, 202, NULL, 203),  -- adLongVarWChar
  (204, N'varbinary()',    8000, NULL, NULL, 205, NULL, 204),  -- adVarBinary
  (205, N'varbinary(max)', NULL, NULL, NULL, 205, NULL, 205);  -- adLongVarBinary

-- Texts of the validation errors.
INSERT INTO CB_BmErrCode (FCode, FDescriptive, FDescriptive_CHT,
                          FDescriptive_EN) VALUES
  (10000, N'必须输入的数据不能为空', N'必須輸入的資料不能為空',
   N'A required value is missing'),
  (10001, N'数据超出允许的范围', N'資料超出允許的範圍',
   N'The value is out of the allowed range'),
  (10002, N'日期不正确', N'日期不正確',
   N'The date is not valid'),
  (10003, N'编码格式不正确', N'編碼格式不正確',
   N'The code does not have the expected form'),
  (10004, N'数据类型不符，无法转换', N'資料類型不符，無法轉換',
   N'The value cannot be converted to the type of the field'),
  (10005, N'数据长度超过允许的长度', N'資料長度超過允許的長度',
   N'The value is longer than the field allows'),
  (10006, N'该数据已经存在，不能重复', N'該資料已經存在，不能重複',
   N'The value already exists and must be unique'),
  (10007, N'该记录已经存在', N'該記錄已經存在',
   N'The record already exists'),
  (10008, N'要修改的记录不存在', N'要修改的記錄不存在',
   N'The record to be changed does not exist'),
  (10009, N'数据不在允许的取值范围内', N'資料不在允許的取值範圍內',
   N'The value is not one of the allowed values'),
  (10010, N'引用的编码或记录不存在', N'引用的編碼或記錄不存在',
   N'The referenced code or record does not exist');

-- Texts of the error items used for the cost balance table's fields.
INSERT INTO CB_BmErrItem (FItem, FDescriptive) VALUES
  (10000, N'产品（成本对象）'),
  (10015, N'成本项目'),
  (10018, N'费用项目'),
  (10022, N'费用部门'),
  (10034, N'会计年度'),
  (10035, N'会计期间'),
  (10038, N'本期发生额'),
  (10040, N'数量'),
  (10041, N'单价'),
  (10042, N'批号'),
  (10043, N'余额');

COMMIT TRANSACTION;
