#pragma once

#include <QDialog>

class QPushButton;
class QWidget;

namespace bankprep {

class DBGrid;
class TDataModule2;

// The classification picker: lists the classifications and returns with the chosen one
// as the classification table's current row. Result 1: chosen ("选定" or a
// double-click); 2: cancelled ("取消", Esc, the close box).
class TSelCompanyType : public QDialog
{
    Q_OBJECT
public:
    explicit TSelCompanyType(TDataModule2& dm, QWidget* parent = nullptr);

    DBGrid* DBGrid1;      // the classifications (编号, 类型), read-only
    QWidget* Panel1;      // the panel of the two buttons
    QPushButton* BitBtn2; // 选定: result 1
    QPushButton* BitBtn3; // 取消: result 2

    void DBGrid1DblClick();
    void reject() override; // closes with result 2

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace bankprep
