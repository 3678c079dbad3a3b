#pragma once

#include <QString>

namespace bankprep {

// What the record rules need from the user: the core never shows a window itself.
// The desktop program answers with message boxes and its pickers; tests answer in
// advance; without one, questions are answered No and pickers cancelled.
class RuleInteraction
{
public:
    virtual ~RuleInteraction() = default;
    // The standard question box titled "Information" with Yes and No. True for Yes.
    virtual bool askInformation(const QString& text) = 0;
    // A plain notice with an OK button.
    virtual void notice(const QString& text) = 0;
    // Shows the classification picker modally; returns its result (1 chosen, 2 cancelled).
    // The choice is the classification table's current row.
    virtual int pickCompanyType() = 0;
};

// The payment detail window's previous / next buttons, whose enabled state the
// payment rules keep in step with the cursor.
class PaymentButtons
{
public:
    virtual ~PaymentButtons() = default;
    virtual void setPreviousEnabled(bool enabled) = 0;
    virtual void setNextEnabled(bool enabled) = 0;
};

} // namespace bankprep
