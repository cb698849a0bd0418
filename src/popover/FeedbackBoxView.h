#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>
#include <functional>

class QLineEdit;
class QTimer;
class QAbstractButton;

// The popover's feedback box: a one-line note, an optional e-mail address once there
// is a note, a send button, and the sending / sent / failed states of the request.
// The state lives here, with the view: a new popover content starts from scratch.
class FeedbackBoxView : public QWidget {
    Q_OBJECT
public:
    enum class FeedbackState { idle, sending, sent, failed };

    // Told once, on the main thread, whether the service took the note.
    using Done = std::function<void(bool ok)>;
    using Start = std::function<void(Done done)>;
    // Forms the request for one note and returns what sends it; an empty Start when
    // no request can be formed (no usable service address), and the box stays as it is.
    using Sender = std::function<Start(const QString& text, const QString& email)>;

    static constexpr int maxNotes = 3;
    static constexpr int sentConfirmationMs = 2500;

    // Without a sender the box posts to the feedback service (FeedbackRequest).
    explicit FeedbackBoxView(Sender sender = nullptr, QWidget* parent = nullptr);

    QString feedbackText() const;
    QString feedbackEmail() const;
    FeedbackState feedbackState() const { return m_state; }
    int feedbackCount() const { return m_count; }

    // Whether the note, trimmed of blanks and line breaks, has something to send.
    static bool hasSendableText(const QString& text);
    // Fewer than three notes sent, or the last confirmation still on screen.
    bool wantsToBeShown() const { return m_count < maxNotes || m_state == FeedbackState::sent; }

    // Validates, then sends the note. Does nothing for an empty note, after three
    // notes, while one is on its way, or when no request can be formed.
    void submitFeedback();

    QLineEdit* textField() const { return m_text; }
    QLineEdit* emailField() const { return m_email; }
    QWidget* sendButton() const;
    QWidget* activityIndicator() const;
    QWidget* sentRow() const { return m_sentRow; }
    QWidget* failedLine() const { return m_failed; }

signals:
    void stateChanged(FeedbackState state);

private:
    void setState(FeedbackState state);
    void refresh();

    Sender m_sender;
    FeedbackState m_state = FeedbackState::idle;
    int m_count = 0;
    QWidget* m_sentRow;
    QWidget* m_panel;
    QLineEdit* m_text;
    QAbstractButton* m_send;
    QWidget* m_spinner;
    QWidget* m_emailSection;
    QLineEdit* m_email;
    QLabel* m_failed;
};
