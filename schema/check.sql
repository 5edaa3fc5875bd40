-- Schema check: runs every statement the closing component sends, written
-- the way the provider's translation hands it to SQLite (DELETE FROM,
-- INSERT INTO, LIMIT, IFNULL, UNION operands unparenthesised, no Begin/End,
-- "?" parameters written as literals, @variables bound as parameters), on
-- small sample rows, against a database freshly made from sqlite/erp.sql.
-- Every statement must run; the assertions check that column types,
-- defaults, identities and collations give the intended results.
--
-- Run through check.sh (sqlite3 shell). Prints one "FAIL ..." line per
-- failed assertion and "checks passed: N" at the end.

.bail on
.parameter init
CREATE TEMP TABLE chk (name TEXT, ok INTEGER);

-------------------------------------------------------------------------------
-- Seed rows and system tables
-------------------------------------------------------------------------------
SELECT FProcName FROM t_SupportedProc;
select * from t_DataTypeInfo;
INSERT INTO temp.chk SELECT 'datatype codes', count(*) = 24 AND
  sum(FBindType IS NULL OR FActualType IS NULL OR FTypeName IS NULL) = 0
  FROM t_DataTypeInfo WHERE FDataType IN (2, 3, 4, 5, 6, 7, 11, 14, 16, 20,
  72, 128, 129, 130, 131, 133, 134, 135, 200, 201, 202, 203, 204, 205);
INSERT INTO temp.chk SELECT 'datatype 202',
  FTypeName = 'TEXT()' AND FMaxPrecision = 4000 AND FBindType = 202
  FROM t_DataTypeInfo WHERE FDataType = 202;

-- Profile read (parameters 'CB', 'CurrentYear'; keys compare without case).
INSERT INTO temp.chk SELECT 'profile read',
  (Select FValue From t_SystemProfile Where FCategory = 'cb' And FKey = 'CURRENTYEAR') = '2005';
INSERT INTO temp.chk SELECT 'profile period count',
  (Select FValue From t_SystemProfile Where FCategory = 'GL' And FKey = 'PeriodCount') = '12';

-- Error texts.
INSERT INTO temp.chk SELECT 'err code chs', (SELECT FDescriptive FROM CB_BmErrCode WHERE FCode =10000) IS NOT NULL;
INSERT INTO temp.chk SELECT 'err code cht', (SELECT FDescriptive_CHT as FDescriptive FROM CB_BmErrCode WHERE FCode =10007) IS NOT NULL;
INSERT INTO temp.chk SELECT 'err code en', (SELECT FDescriptive_EN as FDescriptive FROM CB_BmErrCode WHERE FCode =10010) = 'The referenced code or record does not exist';
INSERT INTO temp.chk SELECT 'err codes 10000-10010', count(*) = 11 AND
  sum(FDescriptive IS NULL OR FDescriptive_CHT IS NULL OR FDescriptive_EN IS NULL) = 0
  FROM CB_BmErrCode WHERE FCode BETWEEN 10000 AND 10010;
INSERT INTO temp.chk SELECT 'err items', count(*) = 11 FROM CB_BmErrItem
  WHERE FItem IN (10034, 10035, 10015, 10022, 10000, 10018, 10043, 10040, 10038, 10041, 10042);
INSERT INTO temp.chk SELECT 'err item text', (SELECT FDescriptive FROM CB_BmErrItem WHERE FItem =10034) IS NOT NULL;

-------------------------------------------------------------------------------
-- Base tables
-------------------------------------------------------------------------------
INSERT INTO CB_BmItem (FID, FName) VALUES ('01', '直接材料'), ('02', '直接人工'), ('03', '制造费用');
INSERT INTO CB_BmExpDept (FID, FName, FType) VALUES ('D1', '一车间', 0), ('D2', '二车间', 0), ('D9', '管理部', 1);
INSERT INTO CB_BmProduct (FID, FName, FType, FPrecision, FPPrecision) VALUES
  ('P0', '原料甲', 1, 2, 2), ('P1', '产品甲', 2, 2, 4), ('P2', '批次乙', 3, 0, 2), ('P3', '批次丙', 3, 2, 2);
INSERT INTO CB_BmMateriel (FID, FName, FRem, FPrecision, FPPrecision) VALUES ('M1', '钢材', 'Q235', 3, 4);
INSERT INTO CB_BmStandard (FID, FName) VALUES ('S1', '工时');
INSERT INTO CB_BmCostObj_Product (FCostObjID, FComQty) VALUES ('P2', 100), ('P3', 50);
INSERT INTO CB_CompleteProductInfo (FYear, FPeriod, FExpDeptID, FProductID, FQty) VALUES
  (2004, 12, 'D1', 'P2', 5), (2005, 9, 'D1', 'P2', 10), (2005, 10, 'D1', 'P2', 20),
  (2005, 11, 'D1', 'P2', 40), (2005, 1, 'D1', 'P3', 7), (2005, 1, 'D1', 'P1', 3);

-- Expense departments of a close (sibling list, filter "FType=0").
INSERT INTO temp.chk SELECT 'dept list', count(*) = 2 FROM CB_BmExpDept WHERE FType=0;

-- Batch completion state up to 2005/10.
CREATE TEMP TABLE batch AS
SELECT b.FCostObjID AS FID,b.FComQty,c.FComedQty FROM CB_BmProduct a,CB_BmCostObj_Product b,(SELECT FProductID,SUM(FQty) AS FComedQty  FROM CB_CompleteProductInfo  WHERE FYear + 0.0001 * FPeriod <=2005.001 GROUP BY FProductID)c WHERE a.FType = 3 AND a.FID = c.FProductID AND a.FID = b.FCostObjID ORDER BY FID;
INSERT INTO temp.chk SELECT 'batch info', group_concat(FID || ':' || FComQty || ':' || FComedQty, ' ') = 'P2:100.0:35.0 P3:50.0:7.0' FROM temp.batch;

-------------------------------------------------------------------------------
-- Cost balance through the command builder
-------------------------------------------------------------------------------
-- An insert that sets the key alone gets the builder's defaults.
INSERT INTO CB_CostBalance (FYear,FPeriod,FCostID,FExpDeptID,FProductID)VALUES (2005,1,'03','D9','P0');
INSERT INTO temp.chk SELECT 'cost balance defaults',
  FCostName = '' AND FExpenseID = ' ' AND FBatch = '' AND FExpDeptName IS NULL AND
  FBegBal = 0 AND FQty = 0 AND FAccount = 0 AND FCalPrice = 0 AND FPrice = 0 AND
  FEndBal = 0 AND FCompleQty = 0 AND FOnlineQty = 0 AND FOnlineJorQty = 0 AND typeof(FEndBal) = 'real'
  FROM CB_CostBalance WHERE FExpDeptID = 'D9';
-- The builder's statements (key existence, update, delete).
SELECT FYear,FPeriod,FCostID,FExpDeptID,FProductID FROM CB_CostBalance WHERE  FYear=2005 AND FPeriod=1 AND FCostID='03' AND FExpDeptID='D9' AND FProductID='P0';
UPDATE CB_CostBalance SET  FYear=2005 , FCostName='制造费用' , FQty=2.5  WHERE  FYear=2005 AND FPeriod=1 AND FCostID='03' AND FExpDeptID='d9' AND FProductID='p0' ;
INSERT INTO temp.chk SELECT 'update case-insensitive', changes() = 1;
SELECT * FROM CB_CostBalance WHERE  FYear=2005 AND FPeriod=1 AND FCostID='03' AND FExpDeptID='D9' AND FProductID='P0' ;
-- The unique key refuses a second row with the same key.
INSERT OR IGNORE INTO CB_CostBalance (FYear,FPeriod,FCostID,FExpDeptID,FProductID)VALUES (2005,1,'03','d9','P0');
INSERT INTO temp.chk SELECT 'cost balance key unique', changes() = 0;
DELETE FROM CB_CostBalance WHERE  FYear=2005 AND FPeriod=1 AND FCostID='03' AND FExpDeptID='D9' AND FProductID='P0' ;
INSERT INTO temp.chk SELECT 'builder delete', changes() = 1;
SELECT FID FROM CB_BmStandard WHERE FID='S1';
SELECT FCostID FROM CB_CostBalance WHERE FCostID='x' AND FYear=2005;

-- Rebuild of a period: the two deletions, then rows as the builder writes them.
DELETE FROM CB_CostBalance WHERE FYear=2005 AND FPeriod=1;
DELETE FROM CB_CostBalance WHERE FYear=2005 AND FPeriod=2;
INSERT INTO CB_CostBalance (FYear,FPeriod,FCostID,FCostName,FExpDeptID,FExpDeptName,FProductID,FProductName,FExpenseID,FBegBal,FQty,FAccount,FCalPrice,FPrice,FEndBal,FCompleQty,FOnlineQty,FOnlineJorQty,FBatch)VALUES
  (2005,1,'01','直接材料','D1','一车间','P1','产品甲',' ',0,10,100,0,0,20,8,2,0,''),
  (2005,1,'02','直接人工','D1','一车间','P1','产品甲',' ',0,10,50,0,0,10,8,2,0,''),
  (2005,1,'*','合计','D1','一车间','P1','产品甲',' ',0,10,150,0,0,30,8,2,0,''),
  (2005,1,'01','直接材料','D1','一车间','P2','批次乙',' ',0,5,40,0,0,0,5,0,0,'B01'),
  (2005,1,'*','合计','D1','一车间','P2','批次乙',' ',0,5,40,0,0,0,5,0,0,'B01'),
  (2005,2,'01','直接材料','D1','一车间','P1','产品甲',' ',20,10,80,0,0,0,10,0,0,''),
  (2005,2,'*','合计','D1','一车间','P1','产品甲',' ',30,10,80,0,0,0,10,0,0,''),
  (2005,2,'01','直接材料','D2','二车间','P1','产品甲',' ',0,1,5,0,0,5,0,1,0,''),
  (2005,2,'*','合计','D2','二车间','P1','产品甲',' ',0,1,5,0,0,5,0,1,0,'');

-- Profile write (the current period becomes 2005/2).
UPDATE t_SystemProfile SET FValue = '2' WHERE FCategory = 'CB' AND FKey = 'CurrentPeriod';
INSERT INTO temp.chk SELECT 'profile write', changes() = 1;
UPDATE t_SystemProfile SET FValue = 'x' WHERE FCategory = 'CB' AND FKey = 'NoSuchKey';
INSERT INTO temp.chk SELECT 'profile write absent key', changes() = 0;

-------------------------------------------------------------------------------
-- Cost balance lists (current period 2005/2, key 2005.0002; T1 "合计",
-- T2 "合 计"; "UNION (SELECT ...)" handed on as "UNION SELECT * FROM (...)")
-------------------------------------------------------------------------------
-- GetList 2005/2, department D1, full view.
CREATE TEMP TABLE list1 AS
SELECT a.*,b.FName AS FExpDeptName,c.FName AS FProductName,d.FName AS FCostName,e.FRem,e.FPrecision,e.FPPrecision FROM (SELECT * FROM (SELECT t1.*,CASE WHEN t2.FQty IS NULL THEN 0 ELSE t2.FQty END AS FQty,CASE WHEN t2.FBegBal IS NULL THEN 0 ELSE t2.FBegBal END AS FBegBal,CASE WHEN t2.FAccount IS NULL THEN 0 ELSE t2.FAccount END AS FAccount,CASE WHEN t2.FPrice IS NULL THEN 0 ELSE t2.FPrice END AS FPrice,CASE WHEN t2.FCalPrice IS NULL THEN 0 ELSE t2.FCalPrice END AS FCalPrice,CASE WHEN t2.FEndBal IS NULL THEN 0 ELSE t2.FEndBal END AS FEndBal,CASE WHEN t2.FCompleQty IS NULL THEN 0 ELSE t2.FCompleQty END AS FCompleQty,CASE WHEN t2.FOnlineQty IS NULL THEN 0 ELSE t2.FOnlineQty END AS FOnlineQty,CASE WHEN t2.FOnlineJorQty IS NULL THEN 0 ELSE t2.FOnlineJorQty END AS FOnlineJorQty FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,v.FProductID,y.FID AS FCostID FROM CB_CostBalance x,(SELECT FID,FName FROM CB_BmItem UNION SELECT * FROM (SELECT '*' AS FID,'合计' AS FName)) y,(SELECT DISTINCT FExpDeptID,FProductID FROM CB_CostBalance WHERE FYear + 0.0001 * FPeriod <=2005.0002) v WHERE v.FExpDeptID = x.FExpDeptID) t1 LEFT JOIN CB_CostBalance t2 ON t1.FYear=t2.FYear AND t1.FPeriod=t2.FPeriod AND t1.FExpDeptID=t2.FExpDeptID AND t1.FProductID=t2.FProductID AND t1.FCostID=t2.FCostID)h1 WHERE FYear = 2005 AND FPeriod=2 AND FExpDeptID = 'D1') a,CB_BmExpDept b,CB_BmProduct c,(SELECT FID,FName FROM CB_BmItem UNION SELECT * FROM (SELECT '*' AS FID,'合 计' AS FName)) d,(SELECT FID,FRem,FPrecision,FPPrecision FROM CB_BmMateriel UNION SELECT FID,'' AS FRem,FPrecision,FPPrecision FROM CB_BmProduct WHERE FType>1) e  WHERE a.FExpDeptID=b.FID AND a.FProductID=c.FID AND a.FCostID=d.FID AND a.FProductID=e.FID ORDER BY a.FExpDeptID,a.FProductID,a.FCostID;
INSERT INTO temp.chk SELECT 'GetList full: every item of both products', count(*) = 8 FROM temp.list1;
INSERT INTO temp.chk SELECT 'GetList zero fill', FAccount = 0 AND FEndBal = 0 AND FCostName = '直接材料' FROM temp.list1 WHERE FProductID = 'P2' AND FCostID = '01';
INSERT INTO temp.chk SELECT 'GetList total item', FAccount = 80 AND FCostName = '合 计' AND FPPrecision = 4 FROM temp.list1 WHERE FProductID = 'P1' AND FCostID = '*';

-- GetList 2005/2, all departments, not full, with a filter.
CREATE TEMP TABLE list2 AS
SELECT a.*,b.FName AS FExpDeptName,c.FName AS FProductName,d.FName AS FCostName,e.FRem,e.FPrecision,e.FPPrecision FROM (SELECT * FROM (SELECT t1.*,CASE WHEN t2.FQty IS NULL THEN 0 ELSE t2.FQty END AS FQty,CASE WHEN t2.FBegBal IS NULL THEN 0 ELSE t2.FBegBal END AS FBegBal,CASE WHEN t2.FAccount IS NULL THEN 0 ELSE t2.FAccount END AS FAccount,CASE WHEN t2.FPrice IS NULL THEN 0 ELSE t2.FPrice END AS FPrice,CASE WHEN t2.FCalPrice IS NULL THEN 0 ELSE t2.FCalPrice END AS FCalPrice,CASE WHEN t2.FEndBal IS NULL THEN 0 ELSE t2.FEndBal END AS FEndBal,CASE WHEN t2.FCompleQty IS NULL THEN 0 ELSE t2.FCompleQty END AS FCompleQty,CASE WHEN t2.FOnlineQty IS NULL THEN 0 ELSE t2.FOnlineQty END AS FOnlineQty,CASE WHEN t2.FOnlineJorQty IS NULL THEN 0 ELSE t2.FOnlineJorQty END AS FOnlineJorQty FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,x.FProductID,y.FID AS FCostID FROM CB_CostBalance x,(SELECT FID,FName FROM CB_BmItem UNION SELECT * FROM (SELECT '*' AS FID,'合计' AS FName)) y) t1 LEFT JOIN CB_CostBalance t2 ON t1.FYear=t2.FYear AND t1.FPeriod=t2.FPeriod AND t1.FExpDeptID=t2.FExpDeptID AND t1.FProductID=t2.FProductID AND t1.FCostID=t2.FCostID)h1 WHERE FYear = 2005 AND FPeriod=2 AND FCostID<>'03') a,CB_BmExpDept b,CB_BmProduct c,(SELECT FID,FName FROM CB_BmItem UNION SELECT * FROM (SELECT '*' AS FID,'合 计' AS FName)) d,(SELECT FID,FRem,FPrecision,FPPrecision FROM CB_BmMateriel UNION SELECT FID,'' AS FRem,FPrecision,FPPrecision FROM CB_BmProduct WHERE FType>1) e  WHERE a.FExpDeptID=b.FID AND a.FProductID=c.FID AND a.FCostID=d.FID AND a.FProductID=e.FID ORDER BY a.FExpDeptID,a.FProductID,a.FCostID;
INSERT INTO temp.chk SELECT 'GetList period only, filtered', count(*) = 6 FROM temp.list2;

-- GetCostList up to 2005/2.
CREATE TEMP TABLE list3 AS
SELECT DISTINCT a.*,b.FExpDeptName,b.FProductName,d.FName AS FCostName,c.FRem,c.FPrecision,c.FPPrecision FROM (SELECT FExpDeptID,FProductID,FCostID,CASE WHEN SUM(FCompleQty)=0 THEN 0 ELSE SUM(FAccount+FBegBal-FEndBal)/SUM(FCompleQty) END AS FPrice FROM (SELECT t1.*,CASE WHEN t2.FQty IS NULL THEN 0 ELSE t2.FQty END AS FQty,CASE WHEN t2.FBegBal IS NULL THEN 0 ELSE t2.FBegBal END AS FBegBal,CASE WHEN t2.FAccount IS NULL THEN 0 ELSE t2.FAccount END AS FAccount,CASE WHEN t2.FPrice IS NULL THEN 0 ELSE t2.FPrice END AS FPrice,CASE WHEN t2.FCalPrice IS NULL THEN 0 ELSE t2.FCalPrice END AS FCalPrice,CASE WHEN t2.FEndBal IS NULL THEN 0 ELSE t2.FEndBal END AS FEndBal,CASE WHEN t2.FCompleQty IS NULL THEN 0 ELSE t2.FCompleQty END AS FCompleQty,CASE WHEN t2.FOnlineQty IS NULL THEN 0 ELSE t2.FOnlineQty END AS FOnlineQty,CASE WHEN t2.FOnlineJorQty IS NULL THEN 0 ELSE t2.FOnlineJorQty END AS FOnlineJorQty FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,v.FProductID,y.FID AS FCostID FROM CB_CostBalance x,(SELECT FID,FName FROM CB_BmItem UNION SELECT * FROM (SELECT '*' AS FID,'合计' AS FName)) y,(SELECT DISTINCT FExpDeptID,FProductID FROM CB_CostBalance WHERE FYear + 0.0001 * FPeriod <=2005.0002) v WHERE v.FExpDeptID = x.FExpDeptID) t1 LEFT JOIN CB_CostBalance t2 ON t1.FYear=t2.FYear AND t1.FPeriod=t2.FPeriod AND t1.FExpDeptID=t2.FExpDeptID AND t1.FProductID=t2.FProductID AND t1.FCostID=t2.FCostID)h1 WHERE FYear+0.0001*FPeriod<=2005.0002 GROUP BY FExpDeptID,FProductID,FCostID)a,CB_CostBalance b,(SELECT FID,FRem,FPrecision,FPPrecision FROM CB_BmMateriel UNION SELECT FID,'' AS FRem,FPrecision,FPPrecision FROM CB_BmProduct WHERE FType>1)c,(SELECT FID,FName FROM CB_BmItem UNION SELECT '*' AS FID,'合 计' AS FName) d WHERE a.FExpDeptID = b.FExpDeptID AND a.FProductID = b.FProductID AND a.FProductID=c.FID AND a.FCostID = b.FCostID AND a.FCostID=d.FID ORDER BY a.FExpDeptID,a.FProductID,a.FCostID;
INSERT INTO temp.chk SELECT 'GetCostList rows', count(*) = 7 FROM temp.list3;
-- (100+0-20 + 80+20-0) / (8+10) = 10: REAL columns divide as decimals.
INSERT INTO temp.chk SELECT 'GetCostList unit cost', FPrice = 10 FROM temp.list3 WHERE FExpDeptID = 'D1' AND FProductID = 'P1' AND FCostID = '01';
INSERT INTO temp.chk SELECT 'GetCostList no completed qty', FPrice = 0 FROM temp.list3 WHERE FExpDeptID = 'D2' AND FCostID = '01';
INSERT INTO temp.chk SELECT 'GetCostList fraction', abs(FPrice - 230.0/18) < 1e-9 FROM temp.list3 WHERE FExpDeptID = 'D1' AND FProductID = 'P1' AND FCostID = '*';

-- GetBalList 2005/2, D1, list type 0 with a filter.
CREATE TEMP TABLE list4 AS
SELECT * FROM (SELECT L1.*,L2.FGatherAccount,L2.FGatherEndAccount FROM (SELECT a.*,b.FName AS FExpDeptName,c.FName AS FProductName, d.FName AS FCostName, c.FPrecision, c.FPPrecision FROM (SELECT * FROM (SELECT t1.*,  CASE WHEN t2.FQty IS NULL THEN 0 ELSE t2.FQty END AS FQty, CASE WHEN t2.FBegBal IS NULL THEN 0 ELSE t2.FBegBal END AS FBegBal, CASE WHEN t2.FAccount IS NULL THEN 0 ELSE t2.FAccount END AS FAccount, CASE WHEN t2.FPrice IS NULL THEN 0 ELSE t2.FPrice END AS FPrice, CASE WHEN t2.FCalPrice IS NULL THEN 0 ELSE t2.FCalPrice END AS FCalPrice, CASE WHEN t2.FEndBal IS NULL THEN 0 ELSE t2.FEndBal END AS FEndBal, CASE WHEN t2.FCompleQty IS NULL THEN 0 ELSE t2.FCompleQty END AS FCompleQty, CASE WHEN t2.FOnlineQty IS NULL THEN 0 ELSE t2.FOnlineQty END AS FOnlineQty, CASE WHEN t2.FOnlineJorQty IS NULL THEN 0 ELSE t2.FOnlineJorQty END AS FOnlineJorQty  FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,x.FProductID,y.FID AS FCostID  FROM CB_CostBalance x,(SELECT FID,FName FROM CB_BmItem UNION SELECT * FROM (SELECT '*' AS FID,'合计' AS FName)) y) t1  LEFT JOIN CB_CostBalance t2 ON t1.FYear=t2.FYear AND t1.FPeriod=t2.FPeriod AND t1.FExpDeptID=t2.FExpDeptID  AND t1.FProductID=t2.FProductID AND t1.FCostID=t2.FCostID)h1  WHERE FYear =2005 AND FPeriod=2 AND FExpDeptID = 'D1') a,CB_BmExpDept b,CB_BmProduct c,(SELECT FID,FName FROM CB_BmItem UNION SELECT * FROM (SELECT '*' AS FID,'合 计' AS FName)) d  WHERE a.FExpDeptID=b.FID AND a.FProductID=c.FID AND a.FCostID=d.FID) L1 LEFT JOIN (SELECT * FROM (SELECT DISTINCT b.* FROM (SELECT FExpDeptID,FProductID,FCostID,SUM(FAccount) AS FGatherAccount,SUM(FAccount+FBegBal-FEndBal) AS FGatherEndAccount FROM (SELECT t1.*,CASE WHEN t2.FBegBal IS NULL THEN 0 ELSE t2.FBegBal END AS FBegBal,CASE WHEN t2.FAccount IS NULL THEN 0 ELSE t2.FAccount END AS FAccount,CASE WHEN t2.FEndBal IS NULL THEN 0 ELSE t2.FEndBal END AS FEndBal FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,x.FProductID,y.FID AS FCostID FROM CB_CostBalance x,(SELECT FID,FName FROM CB_BmItem UNION SELECT * FROM (SELECT '*' AS FID,'合计' AS FName)) y) t1  LEFT JOIN CB_CostBalance t2 ON t1.FYear=t2.FYear AND t1.FPeriod=t2.FPeriod AND t1.FExpDeptID=t2.FExpDeptID AND t1.FProductID=t2.FProductID AND t1.FCostID=t2.FCostID)h1 WHERE FYear=2005 AND FPeriod<=2 AND FExpDeptID = 'D1' GROUP BY FExpDeptID,FProductID,FCostID)b) x) L2 ON L1.FExpDeptID=L2.FExpDeptID AND L1.FProductID=L2.FProductID AND L1.FCostID=L2.FCostID)XX WHERE FProductID NOT IN (SELECT FProductID FROM CB_CostBalance WHERE FYear=2005 AND FPeriod=2 AND FExpDeptID='D1' AND FCostID='*' AND FAccount=0) AND FCostID<>'03' ORDER BY FExpDeptID,FProductID,FCostID;
INSERT INTO temp.chk SELECT 'GetBalList rows', count(*) = 3 FROM temp.list4;
INSERT INTO temp.chk SELECT 'GetBalList year to date', FGatherAccount = 180 AND FGatherEndAccount = 180 AND FAccount = 80 FROM temp.list4 WHERE FProductID = 'P1' AND FCostID = '01';

-- GetBatchList up to 2005/2.
CREATE TEMP TABLE list5 AS
SELECT DISTINCT a.*,b.FExpDeptName,b.FProductName,e.FPrecision,e.FPPrecision FROM (SELECT FExpDeptID,FProductID,FCostID,SUM(FAccount+FBegBal-FEndBal) AS FAccount,SUM(FCompleQty) AS FCompleQty,CASE WHEN SUM(FCompleQty)=0 THEN 0 ELSE SUM(FAccount+FBegBal-FEndBal)/SUM(FCompleQty) END AS FPrice FROM (SELECT t1.*,CASE WHEN t2.FQty IS NULL THEN 0 ELSE t2.FQty END AS FQty,CASE WHEN t2.FBegBal IS NULL THEN 0 ELSE t2.FBegBal END AS FBegBal,CASE WHEN t2.FAccount IS NULL THEN 0 ELSE t2.FAccount END AS FAccount,CASE WHEN t2.FPrice IS NULL THEN 0 ELSE t2.FPrice END AS FPrice,CASE WHEN t2.FCalPrice IS NULL THEN 0 ELSE t2.FCalPrice END AS FCalPrice,CASE WHEN t2.FEndBal IS NULL THEN 0 ELSE t2.FEndBal END AS FEndBal,CASE WHEN t2.FCompleQty IS NULL THEN 0 ELSE t2.FCompleQty END AS FCompleQty,CASE WHEN t2.FOnlineQty IS NULL THEN 0 ELSE t2.FOnlineQty END AS FOnlineQty,CASE WHEN t2.FOnlineJorQty IS NULL THEN 0 ELSE t2.FOnlineJorQty END AS FOnlineJorQty FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,v.FProductID,y.FID AS FCostID FROM CB_CostBalance x,(SELECT FID,FName FROM CB_BmItem UNION SELECT * FROM (SELECT '*' AS FID,'合计' AS FName)) y,(SELECT DISTINCT FExpDeptID,FProductID FROM CB_CostBalance WHERE FYear+0.0001*FPeriod<=2005.0002)v WHERE v.FExpDeptID = x.FExpDeptID AND  v.FProductID IN (SELECT FID FROM CB_BmProduct WHERE FType=3)) t1 LEFT JOIN CB_CostBalance t2 ON t1.FYear=t2.FYear AND t1.FPeriod=t2.FPeriod AND t1.FExpDeptID=t2.FExpDeptID AND t1.FProductID=t2.FProductID AND t1.FCostID=t2.FCostID)h1 WHERE FYear+0.0001*FPeriod<=2005.0002 GROUP BY FExpDeptID,FProductID,FCostID)a,CB_CostBalance b,(SELECT FID,FRem,FPrecision,FPPrecision FROM CB_BmMateriel UNION SELECT FID,'' AS FRem,FPrecision,FPPrecision FROM CB_BmProduct WHERE FType>1) e  WHERE a.FExpDeptID = b.FExpDeptID And a.FProductID = b.FProductID  AND a.FProductID=e.FID AND a.FCostID = b.FCostID ORDER BY a.FProductID,a.FExpDeptID,a.FCostID;
INSERT INTO temp.chk SELECT 'GetBatchList', count(*) = 2 AND sum(FCostID = '01' AND FAccount = 40 AND FCompleQty = 5 AND FPrice = 8) = 1 FROM temp.list5;

-------------------------------------------------------------------------------
-- Monthly carry-forward: SetEndBal 2005/3, SetBegBal 2005/3 -> 2005/4
-------------------------------------------------------------------------------
INSERT INTO cbCostObjCheck (FYear, FPeriod, FDeptID, FCostObjID, FQty) VALUES
  (2005, 3, 1, 101, 5), (2005, 3, 1, 102, 0), (2005, 3, 2, 103, -1), (2005, 2, 1, 101, 9);
INSERT INTO cbCalinfo (FYear, FPeriod, FDeptID, FCostItemID, FCostObjID, FOnlineAmount) VALUES
  (2005, 3, 1, 1, 101, 50), (2005, 3, 1, 0, 101, 99), (2005, 3, 1, 2, 101, 0), (2005, 3, 1, 3, 101, 12.5);
INSERT INTO cbCalinfoDetail (FYear, FPeriod, FDeptID, FCostObjID, FCostItemID, FMaterielID, FBatchNo, FOnlineQty, FOnlineAmount) VALUES
  (2005, 3, 1, 101, 1, 501, 'B1', 4, 10), (2005, 3, 1, 101, 1, 502, '', 0, 0), (2005, 3, 1, 101, 2, 503, '', 0, 6);
-- An earlier ending row of the closing period, which SetEndBal replaces, and
-- rows of later periods, which a reopened close removes.
INSERT INTO cbBalance (FYear, FPeriod, FDepID, FCostID, FProductID, FOnlnQty, FTypeID) VALUES (2005, 3, 1, 0, 999, 7, 3);
INSERT INTO cbBalance (FYear, FPeriod, FDepID, FCostID, FProductID, FQty, FTypeID) VALUES (2005, 12, 1, 0, 101, 1, 1), (2006, 1, 1, 0, 101, 1, 1);
INSERT INTO cbCostObjDetail (FYear, FPeriod, FDepID, FCostObjID, FCostItemID, FMaterielID, FQty, FSum) VALUES (2006, 1, 1, 101, 1, 501, 1, 1);

DELETE FROM cbBalance WHERE FOnlnQty<>0 AND FYear=2005 AND FPeriod=3;
INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FOnlnQty,FTypeID)
 SELECT 2005,3,FDeptID,0,FCostObjID,FQty,3 FROM cbCostObjCheck
 WHERE FYear=2005 AND FPeriod=3
 AND FQty>0 ;
DELETE FROM cbBalance WHERE FEndBal<>0 AND FYear=2005 AND FPeriod=3;
INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FEndBal,FTypeID)
 SELECT 2005,3,FDeptID,FCostItemID,FCostObjID,FOnlineAmount,4 FROM cbCalinfo
 WHERE FYear=2005 AND FPeriod=3
 AND FCostItemID<>0 AND FOnlineAmount<>0;
INSERT INTO temp.chk SELECT 'SetEndBal type 3', count(*) = 1 AND sum(FOnlnQty) = 5 AND sum(FQty + FBegBal + FEndBal) = 0 FROM cbBalance WHERE FYear = 2005 AND FPeriod = 3 AND FTypeID = 3;
INSERT INTO temp.chk SELECT 'SetEndBal type 4', count(*) = 2 AND sum(FEndBal) = 62.5 AND sum(FOnlnQty) = 0 FROM cbBalance WHERE FYear = 2005 AND FPeriod = 3 AND FTypeID = 4;

 DELETE FROM cbBalance    WHERE FYear=2005
 AND FPeriod=4
 AND FTypeID=1 ;
Insert Into cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FTypeID)
SELECT 2005,4,FDepID,FCostID,FProductID,FOnlnQty,1
 FROM cbBalance
 WHERE FYear=2005
 AND FPeriod=3
 AND FTypeID=3 ;
 DELETE FROM cbBalance    WHERE FYear=2005
 AND FPeriod=4
 AND FTypeID=2 ;
Insert Into cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FBegBal,FTypeID)
SELECT 2005,4,FDepID,FCostID,FProductID,FEndBal,2
 FROM cbBalance
 WHERE FYear=2005
 AND FPeriod=3
 AND FTypeID=4 ;
 DELETE FROM cbCostObjDetail    WHERE FYear=2005
 AND FPeriod=4
;
 INSERT INTO cbCostObjDetail(FYear,FPeriod,FDepID,FCostObjID,FCostItemID,FMaterielID,FBatchNo,FQty,FSum)
 SELECT 2005,4,FDeptID , FCostObjID, FCostItemID, FMaterielID, FBatchNo,  FOnlineQty,FOnlineAmount
 FROM cbCalinfoDetail
 WHERE FYear=2005
 AND FPeriod=3
 AND not(FOnlineQty=0 AND FOnlineAmount=0) ;
Update cbCostObjDetail SET FPrice=FSum/FQty WHERE FQty<>0 AND FYear=2005
 AND FPeriod=4
;
INSERT INTO temp.chk SELECT 'SetBegBal types 1 and 2', sum(FTypeID = 1 AND FQty = 5) = 1 AND sum(FTypeID = 2) = 2 AND sum(FBegBal) = 62.5 FROM cbBalance WHERE FYear = 2005 AND FPeriod = 4;
INSERT INTO temp.chk SELECT 'SetBegBal detail', count(*) = 2 AND sum(FPrice) = 2.5 FROM cbCostObjDetail WHERE FYear = 2005 AND FPeriod = 4;

-------------------------------------------------------------------------------
-- Standards and allocation data: 2005/3 -> 2005/4
-------------------------------------------------------------------------------
INSERT INTO CBRationStandardInfo (FYear, FPeriod, FDeptID, FCostObjID, FStandardID, FCostItemID, FQty) VALUES (2005, 3, 1, 101, 1, 1, 2.5), (2005, 4, 9, 9, 9, 9, 9);
INSERT INTO CBStdSalaryRate (FYear, FPeriod, FCostObjID, FSalaryRate, FCostItemID) VALUES (2005, 3, 101, 12.5, 2);
INSERT INTO CBStdStdManhour (FYear, FPeriod, FCostObjID, FStdManHour) VALUES (2005, 3, 101, 1.5);
INSERT INTO CBStdFloatMakeRate (FYear, FPeriod, FCostObjID, FFloatMakeRate, FCostItemID) VALUES (2005, 3, 101, 0.3, 3);
INSERT INTO CBStdStdPrice (FYear, FPeriod, FItemID, FStdPrice) VALUES (2005, 3, 501, 2.75);
INSERT INTO CBStdfixedMakebudget (FYear, FPeriod, FCostObjID, FDeptID, FFixedMakeBudget, FCostItemID) VALUES (2005, 3, 101, 1, 1000, 3);
INSERT INTO CBStdBudgetOutput (FYear, FPeriod, FCostObjID, FDeptID, FOutProduct) VALUES (2005, 3, 101, 1, 400);
INSERT INTO cbCostTypeInfo (FYear, FPeriod, FCostTypeID, FCostObjID, FCostItemID, FPrice) VALUES (2005, 3, 1, 101, 1, 3.25);
INSERT INTO CBSortStandardInfo (FYear, FPeriod, FDeptID, FCostObjID, FStandardID, FCostItemID, FProductID, FQty) VALUES (2005, 3, 1, 101, 1, 1, 201, 4);
INSERT INTO CBDeputyInfo (FYear, FPeriod, FCostItemID, FProductID, FAmount) VALUES (2005, 3, 1, 201, 8.5);

DELETE FROM CBRationStandardInfo WHERE FYear=2005 AND FPeriod=4;
Insert INTO CBRationStandardInfo(FYear,FPeriod,FDeptID,FCostObjID,FStandardID,FCostItemID,FQty)
 SELECT 2005,4,FDeptID,FCostObjID,FStandardID,FCostItemID,FQty  FROM CBRationStandardInfo
 WHERE FYear=2005
 AND FPeriod=3;
DELETE FROM cbCostTypeInfo WHERE FYear=2005 AND FPeriod=4;
Insert INTO cbCostTypeInfo(FYear,FPeriod,FCostTypeID,FCostObjID,FCostItemID,FPrice)
 SELECT 2005,4,FCostTypeID,FCostObjID,FCostItemID,FPrice  FROM cbCostTypeInfo
 WHERE FYear=2005
 AND FPeriod=3;
DELETE FROM CBSortStandardInfo WHERE FYear=2005 AND FPeriod=4;
Insert INTO CBSortStandardInfo(FYear,FPeriod,FDeptID,FCostObjID,FStandardID,FCostItemID,FProductID,FQty)
 SELECT 2005,4,FDeptID,FCostObjID,FStandardID,FCostItemID,FProductID,FQty  FROM CBSortStandardInfo
 WHERE FYear=2005
 AND FPeriod=3;
DELETE FROM CBDeputyInfo WHERE FYear=2005 AND FPeriod=4;
Insert INTO CBDeputyInfo(FYear,FPeriod,FCostItemID,FProductID,FAmount)
 SELECT 2005,4,FCostItemID,FProductID,FAmount  FROM CBDeputyInfo
 WHERE FYear=2005
 AND FPeriod=3;
-- SetStdCostData: clearing batch (all six tables), then the copy batch.
DELETE FROM CBStdSalaryRate WHERE FYear=2005 AND FPeriod=4;
DELETE FROM CBStdStdManhour WHERE FYear=2005 AND FPeriod=4;
DELETE FROM CBStdFloatMakeRate WHERE FYear=2005 AND FPeriod=4;
DELETE FROM CBStdStdPrice WHERE FYear=2005 AND FPeriod=4;
DELETE FROM CBStdfixedMakebudget WHERE FYear=2005 AND FPeriod=4;
DELETE FROM CBStdBudgetOutput WHERE FYear=2005 AND FPeriod=4;
Insert INTO CBStdSalaryRate(FYear,FPeriod,FCostObjID,FSalaryRate,FCostItemID)
 SELECT 2005,4,FCostObjID,FSalaryRate,FCostItemID FROM CBStdSalaryRate
 WHERE FYear=2005
 AND FPeriod=3;
Insert INTO CBStdStdManhour(FYear,FPeriod,FCostObjID,FStdManHour)
 SELECT 2005,4,FCostObjID,FStdManHour FROM CBStdStdManhour
 WHERE FYear=2005
 AND FPeriod=3;
Insert INTO CBStdFloatMakeRate(FYear,FPeriod,FCostObjID,FFloatMakeRate,FCostItemID)
 SELECT 2005,4,FCostObjID,FFloatMakeRate,FCostItemID FROM CBStdFloatMakeRate
 WHERE FYear=2005
 AND FPeriod=3;
Insert INTO CBStdStdPrice(FYear,FPeriod,FItemID,FStdPrice)
 SELECT 2005,4,FItemID,FStdPrice FROM CBStdStdPrice
 WHERE FYear=2005
 AND FPeriod=3;
Insert INTO CBStdfixedMakebudget(FYear,FPeriod,FCostObjID,FDeptID,FFixedMakeBudget,FCostItemID)
 SELECT 2005,4,FCostObjID,FDeptID,FFixedMakeBudget,FCostItemID FROM CBStdfixedMakebudget
 WHERE FYear=2005
 AND FPeriod=3;
Insert INTO CBStdBudgetOutput(FYear,FPeriod,FCostObjID,FDeptID,FOutProduct)
 SELECT 2005,4,FCostObjID,FDeptID,FOutProduct FROM CBStdBudgetOutput
 WHERE FYear=2005
 AND FPeriod=3;
INSERT INTO temp.chk SELECT 'standards copied',
  (SELECT count(*) || ':' || sum(FQty) FROM CBRationStandardInfo WHERE FYear = 2005 AND FPeriod = 4) = '1:2.5' AND
  (SELECT FSalaryRate FROM CBStdSalaryRate WHERE FYear = 2005 AND FPeriod = 4) = 12.5 AND
  (SELECT FStdManHour FROM CBStdStdManhour WHERE FYear = 2005 AND FPeriod = 4) = 1.5 AND
  (SELECT FFloatMakeRate FROM CBStdFloatMakeRate WHERE FYear = 2005 AND FPeriod = 4) = 0.3 AND
  (SELECT FStdPrice FROM CBStdStdPrice WHERE FYear = 2005 AND FPeriod = 4) = 2.75 AND
  (SELECT FFixedMakeBudget FROM CBStdfixedMakebudget WHERE FYear = 2005 AND FPeriod = 4) = 1000 AND
  (SELECT FOutProduct FROM CBStdBudgetOutput WHERE FYear = 2005 AND FPeriod = 4) = 400 AND
  (SELECT FPrice FROM cbCostTypeInfo WHERE FYear = 2005 AND FPeriod = 4) = 3.25 AND
  (SELECT FProductID FROM CBSortStandardInfo WHERE FYear = 2005 AND FPeriod = 4) = 201 AND
  (SELECT FAmount FROM CBDeputyInfo WHERE FYear = 2005 AND FPeriod = 4) = 8.5;

-------------------------------------------------------------------------------
-- Daily costing
-------------------------------------------------------------------------------
INSERT INTO CBPeriodDate (FYear, FPeriod, FYearPeriodCycle, FPeriodStartDay, FPeriodEndDay) VALUES
  (2005, 4, '2005042', '2005-04-16', '2005-04-30'), (2005, 4, '2005041', '2005-04-01', '2005-04-15');
INSERT INTO DayCost_ObjCheck (FDeptID, FCostObjID, FQty, FPerBeginDate, FPerEndDate, FYearPeriodCycle) VALUES
  (1, 101, 4, '2005-03-16', '2005-03-31', '2005032'), (1, 102, 0, '2005-03-16', '2005-03-31', '2005032'),
  (1, 103, 6, '2005-03-01', '2005-03-31', '200503');
INSERT INTO DayCost_Calinfo (FDeptID, FCostItemID, FCostObjID, FOnlineAmount, FPerBeginDate, FPerEndDate, FYearPeriodCycle) VALUES
  (1, 1, 101, 30, '2005-03-16', '2005-03-31', '2005032'), (1, 0, 101, 5, '2005-03-16', '2005-03-31', '2005032');
INSERT INTO DayCost_CalinfoDetail (FDeptID, FCostObjID, FCostItemID, FMaterielID, FBatchNo, FOnlineQty, FOnlineAmount, FPerBeginDate, FPerEndDate) VALUES
  (1, 101, 1, 501, 'B1', 3, 9, '2005-03-16', '2005-03-31'), (1, 101, 1, 502, '', 0, 0, '2005-03-16', '2005-03-31');

-- DayCost_SetEndBal 2005/3, window 2005-03-16 .. 2005-03-31.
DELETE FROM DayCost_Balance WHERE FOnlnQty<>0 AND FPerBeginDate>='2005-03-16' AND FPerEndDate<='2005-03-31';
INSERT INTO DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FOnlnQty,FTypeID,FPerBeginDate,FPerEndDate,FYearPeriodCycle)
SELECT 2005,3,FDeptID,0,FCostObjID,FQty,3 ,FPerBeginDate,FPerEndDate,FYearPeriodCycle
FROM DayCost_ObjCheck
WHERE FQty>0 AND FPerBeginDate>='2005-03-16' AND FPerEndDate<='2005-03-31';
DELETE FROM DayCost_Balance WHERE FEndBal<>0 AND  FPerBeginDate>='2005-03-16' AND FPerEndDate<='2005-03-31';
INSERT INTO DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FEndBal,FTypeID,FPerBeginDate,FPerEndDate,FYearPeriodCycle)
SELECT 2005,3,FDeptID,FCostItemID,FCostObjID,FOnlineAmount,4 ,FPerBeginDate,FPerEndDate,FYearPeriodCycle
FROM DayCost_Calinfo
WHERE FPerBeginDate>='2005-03-16' AND FPerEndDate<='2005-03-31'
   AND FCostItemID<>0 AND FOnlineAmount<>0 ;
INSERT INTO temp.chk SELECT 'DayCost_SetEndBal window', count(*) = 2 AND sum(FTypeID = 3 AND FOnlnQty = 4) = 1 AND sum(FTypeID = 4 AND FEndBal = 30) = 1 AND sum(FYearPeriodCycle = '2005032') = 2 FROM DayCost_Balance;

-- DayCost_SetBegBal: current 2005-03-16 .. 2005-03-31, next 2005-04-01 .. 2005-04-15, cycle 2005041.
DELETE FROM DayCost_Balance
WHERE FTypeID=1 AND FPerBeginDate>='2005-04-01' AND FPerEndDate<='2005-04-15';
Insert Into DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FTypeID,FPerBeginDate,FPerEndDate,FYearPeriodCycle)
SELECT FYear,FPeriod,FDepID,FCostID,FProductID,FOnlnQty,1,'2005-04-01','2005-04-15','2005041'
FROM DayCost_Balance
WHERE FTypeID=3 AND FPerBeginDate>='2005-03-16' AND FPerEndDate<='2005-03-31';
DELETE FROM DayCost_Balance
WHERE FTypeID=2 AND FPerBeginDate>='2005-04-01' AND FPerEndDate<='2005-04-15';
Insert Into DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FBegBal,FTypeID,FPerBeginDate,FPerEndDate,FYearPeriodCycle)
SELECT FYear,FPeriod,FDepID,FCostID,FProductID,FEndBal,2,'2005-04-01','2005-04-15','2005041'
FROM DayCost_Balance
WHERE FTypeID=4 AND FPerBeginDate>='2005-03-16' AND FPerEndDate<='2005-03-31';
DELETE FROM DayCost_CostObjDetail
WHERE FPerBeginDate>='2005-04-01' AND FPerEndDate<='2005-04-15';
INSERT INTO DayCost_CostObjDetail(FYear,FPeriod,FDepID,FCostObjID,FCostItemID,FMaterielID,FBatchNo,FQty,FSum,FPerBeginDate,FPerEndDate,FYearPeriodCycle)
SELECT 2005,3,FDeptID , FCostObjID, FCostItemID, FMaterielID, FBatchNo,  FOnlineQty,FOnlineAmount,'2005-04-01','2005-04-15','2005041'
FROM DayCost_CalinfoDetail
WHERE FPerBeginDate>='2005-03-16' AND FPerEndDate<='2005-03-31'
   AND not(FOnlineQty=0 AND FOnlineAmount=0) ;
Update DayCost_CostObjDetail
   SET FPrice=FSum/FQty
WHERE FQty<>0 AND FPerBeginDate>='2005-04-01' AND FPerEndDate<='2005-04-15';
INSERT INTO temp.chk SELECT 'DayCost_SetBegBal', count(*) = 2 AND sum(FTypeID = 1 AND FQty = 4) = 1 AND sum(FTypeID = 2 AND FBegBal = 30) = 1 FROM DayCost_Balance WHERE FPerBeginDate = '2005-04-01' AND FYearPeriodCycle = '2005041';
INSERT INTO temp.chk SELECT 'DayCost_SetBegBal detail', count(*) = 1 AND sum(FPrice) = 3 FROM DayCost_CostObjDetail;

-- SetDayAccount 2005/3 -> 2005/4: the variables are bound as parameters; the
-- two "select @v = ..." statements assign from their last row.
.parameter set @CurYear 2005
.parameter set @CurPeriod 3
.parameter set @NYear 2005
.parameter set @NPeriod 4
INSERT OR REPLACE INTO temp.sqlite_parameters (key, value)
  SELECT '@YearPeriodCycle', min(FYearPeriodCycle)
  From CBPeriodDate
  Where FYear=@NYear and FPeriod=@NPeriod;
INSERT OR REPLACE INTO temp.sqlite_parameters (key, value)
  SELECT '@PerBeginDate', FPeriodStartDay
  From CBPeriodDate
  Where FYear=@NYear and FPeriod=@NPeriod
        and FYearPeriodCycle=@YearPeriodCycle;
INSERT OR REPLACE INTO temp.sqlite_parameters (key, value)
  SELECT '@FPerEndDate', FPeriodEndDay
  From CBPeriodDate
  Where FYear=@NYear and FPeriod=@NPeriod
        and FYearPeriodCycle=@YearPeriodCycle;
INSERT INTO temp.chk SELECT 'SetDayAccount variables',
  (SELECT group_concat(value, ' ') FROM (SELECT value FROM temp.sqlite_parameters WHERE key IN ('@YearPeriodCycle', '@PerBeginDate', '@FPerEndDate') ORDER BY key)) = '2005-04-15 2005-04-01 2005041';
INSERT INTO temp.chk SELECT 'SetDayAccount condition', exists( select 1 from cbBalance where FYear=@CurYear and FPeriod=@CurPeriod );
-- The block of "if exists(...) Begin ... End", run twice (a rerun gives the same rows).
    DELETE FROM DayCost_Balance WHERE FYear=@NYear
                AND FPeriod=@NPeriod
                AND FTypeID=1 and FYearPeriodCycle=@YearPeriodCycle;
    Insert Into DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FTypeID,
                                    FYearPeriodCycle,FPerBeginDate,FPerEndDate)
    SELECT @NYear,@NPeriod,FDepID,FCostID,FProductID,FOnlnQty,1,
               @YearPeriodCycle,@PerBeginDate,@FPerEndDate
    From cbBalance
    WHERE FYear=@CurYear
          AND FPeriod=@CurPeriod
          AND FTypeID=3;
    DELETE FROM DayCost_Balance
        WHERE FYear=@NYear
          AND FPeriod=@NPeriod and FYearPeriodCycle=@YearPeriodCycle
          AND FTypeID=2;
    Insert Into DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FBegBal,FTypeID,
                                    FYearPeriodCycle,FPerBeginDate,FPerEndDate)
    SELECT @NYear,@NPeriod,FDepID,FCostID,FProductID,FEndBal,2,
               @YearPeriodCycle,@PerBeginDate,@FPerEndDate
    From cbBalance
    WHERE FYear=@CurYear
          AND FPeriod=@CurPeriod
          AND FTypeID=4;
    DELETE FROM daycost_CostObjDetail
        WHERE FYear=@NYear
          AND FPeriod=@NPeriod and FYearPeriodCycle=@YearPeriodCycle;
    INSERT INTO daycost_CostObjDetail(FYear,FPeriod,FDepID,FCostObjID,FCostItemID,FMaterielID,FBatchNo,FQty,FSum,
                                          FYearPeriodCycle,FPerBeginDate,FPerEndDate)
    SELECT @NYear,@NPeriod,FDeptID , FCostObjID, FCostItemID, FMaterielID, FBatchNo,  FOnlineQty,FOnlineAmount,
               @YearPeriodCycle,@PerBeginDate,@FPerEndDate
    From cbCalinfoDetail
    WHERE FYear=@CurYear
          AND FPeriod=@CurPeriod
          AND not(FOnlineQty=0 AND FOnlineAmount=0);
    Update daycost_CostObjDetail SET FPrice=FSum/FQty
        WHERE FQty<>0 AND FYear=@NYear
          AND FPeriod=@NPeriod and FYearPeriodCycle=@YearPeriodCycle;
    DELETE FROM DayCost_Balance WHERE FYear=@NYear
                AND FPeriod=@NPeriod
                AND FTypeID=1 and FYearPeriodCycle=@YearPeriodCycle;
    Insert Into DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FTypeID,
                                    FYearPeriodCycle,FPerBeginDate,FPerEndDate)
    SELECT @NYear,@NPeriod,FDepID,FCostID,FProductID,FOnlnQty,1,
               @YearPeriodCycle,@PerBeginDate,@FPerEndDate
    From cbBalance
    WHERE FYear=@CurYear
          AND FPeriod=@CurPeriod
          AND FTypeID=3;
INSERT INTO temp.chk SELECT 'SetDayAccount balance', count(*) = 3 AND sum(FTypeID = 1 AND FQty = 5) = 1 AND sum(FTypeID = 2) = 2 AND min(FPerBeginDate) = '2005-04-01' AND max(FPerEndDate) = '2005-04-15'
  FROM DayCost_Balance WHERE FYear = 2005 AND FPeriod = 4 AND FYearPeriodCycle = '2005041';
INSERT INTO temp.chk SELECT 'SetDayAccount detail', count(*) = 2 AND sum(FPrice) = 2.5 FROM DayCost_CostObjDetail WHERE FYear = 2005 AND FPeriod = 4;
-- A next period without a calendar row leaves cycle and dates NULL; the
-- daily tables refuse such rows (OR IGNORE here shows the refusal).
.parameter set @NPeriod 5
INSERT OR REPLACE INTO temp.sqlite_parameters (key, value) VALUES ('@YearPeriodCycle', NULL), ('@PerBeginDate', NULL), ('@FPerEndDate', NULL);
    Insert OR IGNORE Into DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FTypeID,
                                    FYearPeriodCycle,FPerBeginDate,FPerEndDate)
    SELECT @NYear,@NPeriod,FDepID,FCostID,FProductID,FOnlnQty,1,
               @YearPeriodCycle,@PerBeginDate,@FPerEndDate
    From cbBalance
    WHERE FYear=@CurYear
          AND FPeriod=@CurPeriod
          AND FTypeID=3;
INSERT INTO temp.chk SELECT 'SetDayAccount without calendar refused', changes() = 0;
.parameter clear

-------------------------------------------------------------------------------
-- SetCurrentPeriod 2005/3 with bUnClosed (key 2005.0003)
-------------------------------------------------------------------------------
INSERT INTO cbBalance (FYear, FPeriod, FDepID, FCostID, FProductID, FQty, FTypeID) VALUES (2005, 3, 1, 0, 101, 2, 1);
UPDATE t_SystemProfile SET FValue = '2005' WHERE FCategory = 'CB' AND FKey = 'CurrentYear';
UPDATE t_SystemProfile SET FValue = '3' WHERE FCategory = 'CB' AND FKey = 'CurrentPeriod';
DELETE FROM cbBalance WHERE FYear+0.0001*FPeriod > 2005.0003;
 DELETE FROM cbBalance WHERE FYear= 2005 and FPeriod= 3 and FTypeID in (3,4) ;
DELETE FROM cbCostObjDetail WHERE FYear+0.0001*FPeriod > 2005.0003;
INSERT INTO temp.chk SELECT 'SetCurrentPeriod profile', group_concat(FValue, '/') = '2005/3' FROM (SELECT FValue FROM t_SystemProfile WHERE FCategory = 'CB' ORDER BY FKey DESC);
INSERT INTO temp.chk SELECT 'SetCurrentPeriod reopened', count(*) = 1 AND sum(FTypeID) = 1 FROM cbBalance WHERE FYear + 0.0001 * FPeriod >= 2005.0003;
INSERT INTO temp.chk SELECT 'SetCurrentPeriod detail', count(*) = 0 FROM cbCostObjDetail;

-------------------------------------------------------------------------------
-- Cost-revert moves: archive 2005/3, then restore it
-------------------------------------------------------------------------------
INSERT INTO CBCarriedCostRevertStdInfo (FSchemeID, FYear, FPeriod, FCostObjID, FProductID, FProdBatchNo, FCostItemID, FMaterielID, FMatBatchNo, FAmountRate, FQtyRate, FLayer, FDispLayer, FIsLeaf, FBranch) VALUES
  (1, 2005, 3, 101, 201, 'PB1', 1, 501, 'MB1', 0.25, 0.5, 1, '1', 0, '001'),
  (1, 2005, 3, 101, 201, 'PB1', 1, 502, 'MB2', 0.75, 0.5, 2, '1.1', 1, '001.001'),
  (1, 2005, 2, 101, 201, 'PB0', 1, 501, 'MB0', 1, 1, 1, '1', 1, '001');
INSERT INTO CBCarriedCostRevertRealEndStk (FYear, FPeriod, FCostObjID, FProductID, FProdBatchNo, FCostItemID, FMaterielID, FMatBatchNo, FEndStkAmtRate, FEndStkQtyRate, FLayer, FDispLayer, FIsLeaf, FBranch) VALUES
  (2005, 3, 101, 201, 'PB1', 1, 501, 'MB1', 0.4, 0.6, 1, '1', 1, '001');
INSERT INTO CBCarriedCostRevertRealEndBal (FYear, FPeriod, FCostObjID, FProductID, FProdBatchNo, FSubCostItemID, FSubCostObjID, FSubProductID, FSubProdBatchNo, FCostItemID, FMaterielID, FMatBatchNo, FEndBalAmtRate, FEndBalQtyRate, FLayer, FDispLayer, FIsLeaf, FBranch) VALUES
  (2005, 3, 101, 201, 'PB1', 2, 102, 202, 'SB1', 1, 501, 'MB1', 0.1, 0.2, 2, '1.1', 1, '001.001');

-- Pre-close check CheckHaveRevert ("top 1" in a UNION: each branch wrapped).
INSERT INTO temp.chk SELECT 'CheckHaveRevert true', count(*) = 2 FROM (
SELECT * FROM (SELECT FID FROM CBCarriedCostRevertRealEndBal WHERE FYear=2005 AND FPeriod=3 LIMIT 1)
UNION all
SELECT * FROM (SELECT FID FROM CBCarriedCostRevertRealEndStk WHERE FYear=2005 AND FPeriod=3 LIMIT 1));

CREATE TEMP TABLE revert_before AS SELECT FSchemeID, FYear, FPeriod, FCostObjID, FProductID, FProdBatchNo, FCostItemID, FMaterielID, FMatBatchNo, FAmountRate, FQtyRate, FLayer, FDispLayer, FIsLeaf, FBranch FROM CBCarriedCostRevertStdInfo;

INSERT INTO CBCarriedCostRevertStdInfo_History (FID, FSchemeID,FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo, FCostItemID,FMaterielID,FMatBatchNo,FAmountRate,FQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch)
 SELECT FID, FSchemeID,FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo, FCostItemID,FMaterielID,FMatBatchNo,FAmountRate,FQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch
 FROM  CBCarriedCostRevertStdInfo
 WHERE FYear=2005 and FPeriod=3
;Delete From CBCarriedCostRevertStdInfo WHERE FYear=2005 and FPeriod=3;
INSERT INTO CBCarriedCostRevertRealEndStk_History (FID, FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo, FCostItemID,FMaterielID,FMatBatchNo,FEndStkAmtRate,FEndStkQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch)
 SELECT FID, FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo, FCostItemID,FMaterielID,FMatBatchNo,FEndStkAmtRate,FEndStkQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch
 FROM  CBCarriedCostRevertRealEndStk
 WHERE FYear=2005 and FPeriod=3
;Delete From CBCarriedCostRevertRealEndStk WHERE FYear=2005 and FPeriod=3;
INSERT INTO CBCarriedCostRevertRealEndBal_History (FID, FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FSubCostItemID, FSubCostObjID,FSubProductID,FSubProdBatchNo,FCostItemID,FMaterielID,FMatBatchNo, FEndBalAmtRate,FEndBalQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch)
 SELECT FID, FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FSubCostItemID, FSubCostObjID,FSubProductID,FSubProdBatchNo,FCostItemID,FMaterielID,FMatBatchNo, FEndBalAmtRate,FEndBalQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch
 FROM  CBCarriedCostRevertRealEndBal
 WHERE FYear=2005 and FPeriod=3
;Delete From CBCarriedCostRevertRealEndBal WHERE FYear=2005 and FPeriod=3;
INSERT INTO temp.chk SELECT 'revert archived with FID', (SELECT group_concat(FID) FROM CBCarriedCostRevertStdInfo_History) = '1,2' AND
  (SELECT count(*) FROM CBCarriedCostRevertStdInfo) = 1 AND (SELECT count(*) FROM CBCarriedCostRevertRealEndStk_History) = 1 AND
  (SELECT count(*) FROM CBCarriedCostRevertRealEndBal_History WHERE FSubProdBatchNo = 'SB1') = 1;
INSERT INTO temp.chk SELECT 'CheckHaveRevert false', count(*) = 0 FROM (
SELECT * FROM (SELECT FID FROM CBCarriedCostRevertRealEndBal WHERE FYear=2005 AND FPeriod=3 LIMIT 1)
UNION all
SELECT * FROM (SELECT FID FROM CBCarriedCostRevertRealEndStk WHERE FYear=2005 AND FPeriod=3 LIMIT 1));

INSERT INTO CBCarriedCostRevertStdInfo ( FSchemeID,FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo, FCostItemID,FMaterielID,FMatBatchNo,FAmountRate,FQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch)
 SELECT  FSchemeID,FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo, FCostItemID,FMaterielID,FMatBatchNo,FAmountRate,FQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch
 FROM  CBCarriedCostRevertStdInfo_History
 WHERE FYear=2005 and FPeriod=3
;Delete From CBCarriedCostRevertStdInfo_History WHERE FYear=2005 and FPeriod=3;
INSERT INTO CBCarriedCostRevertRealEndStk ( FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo, FCostItemID,FMaterielID,FMatBatchNo,FEndStkAmtRate,FEndStkQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch)
 SELECT  FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo, FCostItemID,FMaterielID,FMatBatchNo,FEndStkAmtRate,FEndStkQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch
 FROM  CBCarriedCostRevertRealEndStk_History
 WHERE FYear=2005 and FPeriod=3
;Delete From CBCarriedCostRevertRealEndStk_History WHERE FYear=2005 and FPeriod=3;
INSERT INTO CBCarriedCostRevertRealEndBal ( FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FSubCostItemID, FSubCostObjID,FSubProductID,FSubProdBatchNo,FCostItemID,FMaterielID,FMatBatchNo, FEndBalAmtRate,FEndBalQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch)
 SELECT  FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FSubCostItemID, FSubCostObjID,FSubProductID,FSubProdBatchNo,FCostItemID,FMaterielID,FMatBatchNo, FEndBalAmtRate,FEndBalQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch
 FROM  CBCarriedCostRevertRealEndBal_History
 WHERE FYear=2005 and FPeriod=3
;Delete From CBCarriedCostRevertRealEndBal_History WHERE FYear=2005 and FPeriod=3;
-- Restored rows get new identities (never reused numbers); the rest is unchanged.
INSERT INTO temp.chk SELECT 'revert restored with new FID', (SELECT group_concat(FID) FROM (SELECT FID FROM CBCarriedCostRevertStdInfo WHERE FPeriod = 3 ORDER BY FID)) = '4,5' AND
  (SELECT count(*) FROM CBCarriedCostRevertStdInfo_History) = 0 AND
  (SELECT count(*) FROM CBCarriedCostRevertRealEndBal WHERE FID = 2) = 1 AND
  (SELECT count(*) FROM (SELECT * FROM temp.revert_before EXCEPT SELECT FSchemeID, FYear, FPeriod, FCostObjID, FProductID, FProdBatchNo, FCostItemID, FMaterielID, FMatBatchNo, FAmountRate, FQtyRate, FLayer, FDispLayer, FIsLeaf, FBranch FROM CBCarriedCostRevertStdInfo)) = 0;

-------------------------------------------------------------------------------
-- Material and expense distribution moves: archive 2005/3, then restore it
-------------------------------------------------------------------------------
INSERT INTO cbMaterielInfo (FYear, FPeriod, FCostObjID, FInterID, FEntryID, FStdID, FCostItemID, FStandarddata, FPrice, FQty, FAmount) VALUES
  (2005, 3, 101, 7001, 1, 3, 1, 1.5, 2.5, 4, 10), (2005, 3, 102, 7001, 2, 3, 1, 0.5, 2.5, 2, 5), (2005, 4, 101, 7002, 1, 3, 1, 1, 1, 1, 1);
INSERT INTO cbExpenseDistributeInfo (FYear, FPeriod, FInterID, FCostObjID, FAmount, FCostItemID, FStandarddata, FStandardID) VALUES
  (2005, 3, 8001, 101, 12.5, 3, 0.25, 1), (2005, 4, 8002, 101, 1, 3, 1, 1);

INSERT INTO cbMaterielInfo_History(FItemID,FYear,FPeriod,FCostObjID,FInterID,FEntryID,FStdID,FCostItemID,
FStandarddata,FPrice,FQty,FAmount)
SELECT FItemID,FYear,FPeriod,FCostObjID,FInterID,FEntryID,FStdID,FCostItemID,FStandarddata,FPrice,FQty,FAmount
FROM cbMaterielInfo
WHERE FYear=2005 AND FPeriod =3
;
DELETE FROM cbMaterielInfo WHERE FYear=2005 AND FPeriod =3
;
INSERT INTO cbExpenseDistributeInfo_History(FYear,FPeriod,FInterID,FCostObjID,FAmount,FCostItemID,FStandarddata,FStandardID)
SELECT FYear,FPeriod,FInterID,FCostObjID,FAmount,FCostItemID,FStandarddata,FStandardID
FROM cbExpenseDistributeInfo
WHERE FYear=2005 AND FPeriod =3
;
DELETE FROM cbExpenseDistributeInfo WHERE FYear=2005 AND FPeriod =3
;
INSERT INTO temp.chk SELECT 'distribution archived', (SELECT group_concat(FItemID) FROM cbMaterielInfo_History) = '1,2' AND
  (SELECT count(*) FROM cbMaterielInfo) = 1 AND (SELECT FAmount FROM cbExpenseDistributeInfo_History) = 12.5 AND
  (SELECT count(*) FROM cbExpenseDistributeInfo) = 1;

INSERT INTO cbMaterielInfo(FYear,FPeriod,FCostObjID,FInterID,FEntryID,FStdID,FCostItemID,
FStandarddata,FPrice,FQty,FAmount)
SELECT FYear,FPeriod,FCostObjID,FInterID,FEntryID,FStdID,FCostItemID,FStandarddata,FPrice,FQty,FAmount
FROM cbMaterielInfo_History
WHERE FYear=2005 AND FPeriod =3
;
DELETE FROM cbMaterielInfo_History WHERE FYear=2005 AND FPeriod =3
;
INSERT INTO cbExpenseDistributeInfo(FYear,FPeriod,FInterID,FCostObjID,FAmount,FCostItemID,FStandarddata,FStandardID)
SELECT FYear,FPeriod,FInterID,FCostObjID,FAmount,FCostItemID,FStandarddata,FStandardID
FROM cbExpenseDistributeInfo_History
WHERE FYear=2005 AND FPeriod =3
;
DELETE FROM cbExpenseDistributeInfo_History WHERE FYear=2005 AND FPeriod =3
;
INSERT INTO temp.chk SELECT 'distribution restored', (SELECT group_concat(FItemID) FROM (SELECT FItemID FROM cbMaterielInfo WHERE FPeriod = 3 ORDER BY FItemID)) = '4,5' AND
  (SELECT sum(FAmount) FROM cbMaterielInfo WHERE FPeriod = 3) = 15 AND
  (SELECT count(*) FROM cbMaterielInfo_History) + (SELECT count(*) FROM cbExpenseDistributeInfo_History) = 0 AND
  (SELECT count(*) FROM cbExpenseDistributeInfo WHERE FYear = 2005 AND FPeriod = 3 AND FStandarddata = 0.25) = 1;

-------------------------------------------------------------------------------
-- Opening balances: pre-close checks and the check reset
-------------------------------------------------------------------------------
INSERT INTO CBOnInitBalance (FYear, FPeriod, FDeptID, FCostObjID, FCostItemID, FQty, FAmount, FVchInterID, FChecked, FCheckMan, FCheckDate) VALUES
  (2005, 3, 1, 101, 1, 2, 20, 0, 1, 16394, '2005-03-31'),
  (2005, 3, 1, 102, 1, 1, 10, 0, 0, 0, NULL),
  (2005, 4, 1, 101, 1, 1, 10, 9001, 1, 16394, '2005-04-30 17:45:10');
INSERT INTO CBCostObjAdjustDetail (FYear, FPeriod, FDeptID, FCostObjID, FCostItemID, FAmount, FChecked) VALUES
  (2005, 3, 1, 101, 1, 3.5, 1), (2005, 4, 1, 101, 1, 1, 1);

INSERT INTO temp.chk SELECT 'CheckHasVoucher',
  ( SELECT count(*) FROM CBOnInitBalance WHERE FVchInterID<>0 AND FYear=2005 AND FPeriod=3) = 0 AND
  ( SELECT count(*) FROM CBOnInitBalance WHERE FVchInterID<>0 AND FYear=2005 AND FPeriod=4) = 1;
INSERT INTO temp.chk SELECT 'HasCheckedOnlineBalance before',
  ( SELECT count(*) FROM CBOnInitBalance WHERE FChecked<>0 AND FYear=2005 AND FPeriod=3) = 1;

 Update CBOnInitBalance SET FChecked=0, FCheckMan=0,FCheckDate=null WHERE FChecked=1 AND FYear=2005 AND FPeriod=3;
 Update CBCostObjAdjustDetail Set FChecked = 0 WHERE FChecked=1 AND FYear=2005 AND FPeriod=3;

INSERT INTO temp.chk SELECT 'HasCheckedOnlineBalance after',
  ( SELECT count(*) FROM CBOnInitBalance WHERE FChecked<>0 AND FYear=2005 AND FPeriod=3) = 0;
INSERT INTO temp.chk SELECT 'UnCheckOnlineBalance',
  (SELECT count(*) FROM CBOnInitBalance WHERE FYear = 2005 AND FPeriod = 3 AND FCheckMan = 0 AND FCheckDate IS NULL) = 2 AND
  (SELECT FChecked FROM CBOnInitBalance WHERE FPeriod = 4) = 1 AND
  (SELECT group_concat(FChecked) FROM (SELECT FChecked FROM CBCostObjAdjustDetail ORDER BY FPeriod)) = '0,1';

-------------------------------------------------------------------------------
-- Types: dates are text in canonical form, amounts REAL, text NOCASE
-------------------------------------------------------------------------------
INSERT INTO temp.chk SELECT 'date columns are text', typeof(FPeriodStartDay) = 'text' FROM CBPeriodDate LIMIT 1;
INSERT INTO temp.chk SELECT 'date comparison includes the end day',
  (SELECT count(*) FROM CBOnInitBalance WHERE FCheckDate <= '2005-04-30' AND FCheckDate >= '2005-04-30') = 0 AND
  (SELECT count(*) FROM CBPeriodDate WHERE FPeriodEndDay <= '2005-04-15' AND FPeriodStartDay >= '2005-04-01') = 1;
INSERT INTO temp.chk SELECT 'amounts divide as decimals', (SELECT FPrice FROM cbCostTypeInfo WHERE FPeriod = 4) / 2 = 1.625;
INSERT INTO temp.chk SELECT 'text compares without case', (SELECT count(*) FROM CB_BmProduct WHERE FID = 'p1') = 1;

-------------------------------------------------------------------------------
SELECT 'FAIL ' || name FROM temp.chk WHERE ok IS NOT 1;
SELECT 'checks passed: ' || count(*) || ' of ' || (SELECT count(*) FROM temp.chk) FROM temp.chk WHERE ok IS 1;
