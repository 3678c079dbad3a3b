#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;

namespace bankprep {

class DBGrid;
class TDataModule2;

// The payee picker: the payee book, narrowed to one classification and sorted by a
// clicked title; returns 1 with the picked payee as the payee book's current row, 2
// when cancelled. The classification filter stays on for the caller to read the row.
class TFrmSelCompany : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmSelCompany(TDataModule2& dm, QWidget* parent = nullptr);

    QLabel* Label1;         // label 账户分类：
    QComboBox* ComboType;   // classification shown: 全部, 未归类, then each by name
    DBGrid* DBGrid1;        // the payee book's accounts, read-only
    QPushButton* BtnOk;     // 确认: picks the current account (result 1)
    QPushButton* BtnCancel; // 取消 (result 2)

    QStringList TypeIdList; // key text per ComboType entry ("0" 全部, empty 未归类)
    QString LastTypeId;     // the classification of the last confirmed pick

    // Opens the picker: FormShow, then the modal run.
    int run();

    void FormShow();
    void ComboTypeChange();
    void DBGrid1TitleClick(const QString& fieldName);
    void DBGrid1DblClick();
    void BtnOkClick();
    void reject() override; // result 2

private:
    TDataModule2& m_dm;
    bool m_filling = false;
};

} // namespace bankprep
