// TUpdownEdit: a one-line edit with an up/down spinner at its right edge, for
// entering a whole number within Min..Max. Typed characters are filtered so that
// only an integer can be formed; Page Up/Down step by 10, the arrows (buttons and
// keys) by Increment; at each key release the text is taken over as the position
// when it is within range and cut back to Max when above it. GUI thread only.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include <cstdint>
#include <functional>

class QToolButton;

// Which spinner arrow: btNext is up, btPrev is down.
enum TUDBtnType { btNext, btPrev };

// The toolkit's up/down control: holds the position within Min..Max (no wrap-around)
// and writes it into its associated edit as decimal digits.
class TUpDown : public QWidget {
public:
    explicit TUpDown(QWidget* Parent);

    std::int16_t Min() const { return FMin; }
    void SetMin(std::int16_t Value);
    std::int16_t Max() const { return FMax; }
    void SetMax(std::int16_t Value);
    std::int16_t Position() const { return FPosition; }
    // Kept within Min..Max; the associated edit then shows the position.
    void SetPosition(int Value);
    std::int32_t Increment() const { return FIncrement; }
    void SetIncrement(std::int32_t Value) { FIncrement = Value; }
    void SetAssociate(QLineEdit* Edit) { FAssociate = Edit; UpdateAssociate(); }

    // One arrow step, as a click or an arrow key does; then OnClick.
    void Step(TUDBtnType Button);

    std::function<void(TUDBtnType Button)> OnClick;

    QToolButton* UpButton() const { return FUp; }
    QToolButton* DownButton() const { return FDown; }

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    void UpdateAssociate();

    QToolButton* FUp;
    QToolButton* FDown;
    QLineEdit* FAssociate = nullptr;
    std::int16_t FMin = 0;
    std::int16_t FMax = 100;
    std::int16_t FPosition = 0;
    std::int32_t FIncrement = 1;
};

class TUpdownEdit : public QWidget {
public:
    using TUDClickEvent = std::function<void(TUpdownEdit* Sender, TUDBtnType Button)>;
    // Key is the Qt key code; a handler may change it.
    using TKeyEvent = std::function<void(TUpdownEdit* Sender, int& Key, Qt::KeyboardModifiers Shift)>;

    explicit TUpdownEdit(QWidget* Parent = nullptr);

    QString Text() const { return FEdit->text(); }
    void SetText(const QString& Value) { FEdit->setText(Value); }
    QFont Font() const { return FEdit->font(); }
    void SetFont(const QFont& Value) { FEdit->setFont(Value); }
    std::int16_t Min() const { return FUpDown->Min(); }
    void SetMin(std::int16_t Value) { FUpDown->SetMin(Value); }
    std::int16_t Max() const { return FUpDown->Max(); }
    void SetMax(std::int16_t Value) { FUpDown->SetMax(Value); }
    // The last position the spinner took; text that is not a number within range
    // does not change it.
    std::int16_t Position() const { return FUpDown->Position(); }
    void SetPosition(int Value);
    std::int32_t Increment() const { return FUpDown->Increment(); }
    void SetIncrement(std::int32_t Value) { FUpDown->SetIncrement(Value); }

    TUDClickEvent OnUpDownClick;
    TKeyEvent OnKeyUp;

    QLineEdit* Edit() const { return FEdit; }
    TUpDown* UpDown() const { return FUpDown; }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    // Handlers of the edit's keys; each returns true when the key is consumed.
    bool EditKeyDown(int Key);
    bool EditKeyPress(const QString& Typed, int Key);
    void EditKeyUp(int Key, Qt::KeyboardModifiers Shift);
    void UpDownClick(TUDBtnType Button);

    QLineEdit* FEdit;
    TUpDown* FUpDown;
};

// True when S, without leading and trailing blanks and control characters, is an
// optional minus sign followed by decimal digits that fit a signed 32-bit integer.
bool IsInteger(const QString& S);
