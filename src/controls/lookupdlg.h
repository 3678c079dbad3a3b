#pragma once

#include "controls/tablemodel.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace bankprep {

class DataSource;
class DBGrid;

// A selection dialog over the payee book for a cell of the payment grid: a search box,
// the list (the table's filter and sort apply), OK and Cancel, and two user buttons
// ("账号分类过滤", "显示全部"). Result 1: a row was confirmed (it is the table's current
// row); 2: cancelled.
class TLookupDlg : public QDialog
{
    Q_OBJECT
public:
    TLookupDlg(DataSource* source, const QString& title, const QString& keyField,
               const QList<GridColumn>& columns, QWidget* parent = nullptr);

    QLineEdit* SearchEdit;    // typing moves to the first row whose key begins so
    DBGrid* List;             // the table's rows, read-only
    QPushButton* BtnOk;       // 确定: confirms the current row (result 1)
    QPushButton* BtnCancel;   // 取消 (result 2)
    QPushButton* UserButton1; // 账号分类过滤
    QPushButton* UserButton2; // 显示全部

    const QString& keyField() const { return m_keyField; }
    // Moves to the first row whose key begins with the text (letter case ignored).
    void search(const QString& text);
    void reject() override;

signals:
    void userButton1Clicked();
    void userButton2Clicked();

private:
    DataSource* m_source;
    QString m_keyField;
};

} // namespace bankprep
