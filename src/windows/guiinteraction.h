#pragma once

#include "core/data/interaction.h"

class QWidget;

namespace bankprep {

class TSelCompanyType;

// The desktop program's answers to the record rules: message boxes and the
// classification picker.
class GuiInteraction : public RuleInteraction
{
public:
    GuiInteraction(QWidget* parent, TSelCompanyType* picker) : m_parent(parent), m_picker(picker) {}
    bool askInformation(const QString& text) override;
    void notice(const QString& text) override;
    int pickCompanyType() override;

private:
    QWidget* m_parent;
    TSelCompanyType* m_picker;
};

} // namespace bankprep
