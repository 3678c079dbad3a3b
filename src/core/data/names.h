#pragma once

// The names the database uses, in one place: a misspelt name is a compile error, not a
// refusal at run time. SQL statements the bank's procedures prescribe keep their text.

#include <QString>

namespace bankprep {

// Tables.
namespace tbl {
inline const QString Payment = QStringLiteral("Payment");         // payment instructions
inline const QString Company = QStringLiteral("Company");         // the payee book
inline const QString Salary = QStringLiteral("Salary");           // payroll lines
inline const QString Drawee = QStringLiteral("Drawee");           // payer accounts
inline const QString User = QStringLiteral("User");               // logins
inline const QString CompanyType = QStringLiteral("CompanyType"); // payee classifications
inline const QString Use = QStringLiteral("Use");                 // common purposes
} // namespace tbl

// Columns (and the calculated fields the tables add).
namespace col {
inline const QString SameCity = QStringLiteral("同城交易");       // Payment: 是/否
inline const QString PayeeAccount = QStringLiteral("收款帐号");   // Payment, Company
inline const QString OwnBank = QStringLiteral("溯枫帐号");        // Payment, Company: 是/否
inline const QString PayeeName = QStringLiteral("收款单位");      // Payment, Company
inline const QString PayeeBank = QStringLiteral("收款银行");      // Payment, Company
inline const QString PayeePlace = QStringLiteral("汇入地点");     // Payment, Company
inline const QString Amount = QStringLiteral("金额");             // Payment, Salary
inline const QString Urgent = QStringLiteral("大额实时");         // Payment: 是/否
inline const QString Purpose = QStringLiteral("用途");            // Payment, Use
inline const QString Remark = QStringLiteral("备注");             // Payment, Company
inline const QString UserId = QStringLiteral("用户编号");         // owner of a row; User
inline const QString Id = QStringLiteral("编号");                 // auto-number key
inline const QString Classification = QStringLiteral("账号分类"); // Company: CompanyType id
inline const QString CustomNo = QStringLiteral("自定编号");       // Company
inline const QString EmployeeNo = QStringLiteral("员工编号");     // Salary
inline const QString EmployeeName = QStringLiteral("姓名");       // Salary
inline const QString CardNo = QStringLiteral("卡号");             // Salary
inline const QString PayerAccount = QStringLiteral("付款帐号");   // Drawee
inline const QString Password = QStringLiteral("密码");           // User
inline const QString TypeId = QStringLiteral("type_id");          // CompanyType key
inline const QString TypeName = QStringLiteral("type");           // CompanyType name
inline const QString RowNo = QStringLiteral("no"); // Payment: row number (calculated)
inline const QString TypeOfPayee =
    QStringLiteral("CompanyType"); // Company: classification name (calculated)
} // namespace col

// The two values of the yes/no columns.
inline const QString YesText = QStringLiteral("是");
inline const QString NoText = QStringLiteral("否");

} // namespace bankprep
