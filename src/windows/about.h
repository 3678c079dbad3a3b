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

    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QPushButton* OKButton;
};

} // namespace bankprep
