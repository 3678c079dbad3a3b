#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace bankprep {

class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProgramIcon;   // the bank's logo banner
    QLabel* ProductName;   // 网上银行预处理子系统
    QLabel* Version;       // 版本号： 1.0
    QPushButton* OKButton; // 确定
};

} // namespace bankprep
