-- Seed rows of the golden scenarios, one statement per line, written
-- through the data layer on a database that holds the ERP schema (whose own
-- seed rows set 'GL' 'PeriodCount' = 12 and the current year 2005).
-- Current period 2005/10.
UPDATE t_SystemProfile SET FValue = '10' WHERE FCategory = 'CB' AND FKey = 'CurrentPeriod'
-- The expense departments of a close (FType 0).
INSERT INTO CB_BmExpDept (FID, FName, FType) VALUES ('D1', 'Dept 1', 0)
INSERT INTO CB_BmExpDept (FID, FName, FType) VALUES ('D2', 'Dept 2', 0)
-- One cost balance row of the current period.
INSERT INTO CB_CostBalance (FYear, FPeriod, FCostID, FExpDeptID, FProductID, FEndBal) VALUES (2005, 10, 'C1', 'D1', 'P1', 5)
