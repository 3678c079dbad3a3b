#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace bankprep {

// The column mapping of the payroll import: which spreadsheet column holds the
// employee number, the name, the card number and the net pay.
class TImportDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TImportDlg(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QComboBox* CBAccount;
    QComboBox* CBName;
    QComboBox* CBCard;
    QComboBox* CBAmount;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    // Refills the four lists with the titles, each preselecting column 1.
    void setTitles(const QStringList& titles);
    void reject() override; // closes with the abort result
};

} // namespace bankprep
