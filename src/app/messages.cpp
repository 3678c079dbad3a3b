#include "messages.h"

#include <QMessageBox>

namespace bankprep {

QString applicationTitle()
{
    return QStringLiteral("网上银行批预处理子系统");
}

void showErrorMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace bankprep
