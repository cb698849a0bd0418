#include "popover/FeedbackBoxView.h"

#include "popover/FeedbackRequest.h"
#include "popover/GlassPainter.h"
#include "popover/PopoverChrome.h"
#include "popover/PopoverGlyphs.h"
#include "popover/PopoverStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <QtMath>
#include <memory>

namespace {

// The rounded panel the fields sit on.
class FeedbackPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        GlassPainter::paintInset(p, rect(), 8, 0.06, 0.08);
    }
};

// A hairline across the panel.
class Divider : public QWidget {
public:
    explicit Divider(QWidget* parent = nullptr) : QWidget(parent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(QRectF(0, 0, width(), 1), GlassPainter::white(0.08));
    }
};

QLineEdit* makeField(const QString& placeholder, int pixelSize, qreal opacity, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setPlaceholderText(placeholder);
    field->setFrame(false);
    field->setFont(PopoverStyle::systemFont(pixelSize));
    field->setAttribute(Qt::WA_TranslucentBackground);
    field->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette pal = field->palette();
    pal.setColor(QPalette::Base, Qt::transparent);
    pal.setColor(QPalette::Text, GlassPainter::white(opacity));
    pal.setColor(QPalette::PlaceholderText, GlassPainter::white(0.35));
    pal.setColor(QPalette::Highlight, QColor::fromRgbF(1.0f, 0.55f, 0.15f, 0.45f));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    field->setPalette(pal);
    field->setTextMargins(0, 0, 0, 0);
    field->setContentsMargins(0, 0, 0, 0);
    return field;
}

// Posts through one FeedbackRequest owned by the box, reporting its one outcome.
FeedbackBoxView::Sender serviceSender(QObject* owner) {
    auto* request = new FeedbackRequest(nullptr, owner);
    return [request](const QString& text, const QString& email) -> FeedbackBoxView::Start {
        auto note = FeedbackRequest::prepare(text, email);
        if (!note) return {};
        return [request, note = std::move(*note)](FeedbackBoxView::Done done) {
            if (!request->send(note)) {
                done(false);
                return;
            }
            auto connection = std::make_shared<QMetaObject::Connection>();
            *connection = QObject::connect(request, &FeedbackRequest::finished, request,
                                           [connection, done](bool ok) {
                                               QObject::disconnect(*connection);
                                               done(ok);
                                           });
        };
    };
}

} // namespace

FeedbackBoxView::FeedbackBoxView(Sender sender, QWidget* parent)
    : QWidget(parent), m_sender(sender ? std::move(sender) : serviceSender(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    // The confirmation that replaces the box for a moment after a note went out.
    m_sentRow = new QWidget(this);
    {
        auto* row = new QHBoxLayout(m_sentRow);
        row->setContentsMargins(0, 8, 0, 8);
        row->setSpacing(6);
        row->addWidget(new GlyphWidget(PopoverGlyphs::checkmarkCircleFill, QSize(12, 12),
                                       GlassPainter::white(0.5)));
        auto* thanks = new QLabel(QStringLiteral("Thanks — we read every note"));
        PopoverStyle::styleLabel(thanks, PopoverStyle::systemFont(11), GlassPainter::white(0.5));
        row->addWidget(thanks);
        row->addStretch(1);
    }

    m_panel = new FeedbackPanel(this);
    m_text = makeField(QStringLiteral("Share feedback…"), 11, 1.0, m_panel);
    m_send =
        new GlyphButton(PopoverGlyphs::arrowUpCircleFill, QSize(16, 16), GlassPainter::white(0.7));
    m_send->setAccessibleName(QStringLiteral("Send feedback"));
    m_spinner = new ActivityIndicator;
    m_emailSection = new QWidget(m_panel);
    m_email = makeField(QStringLiteral("Email (optional) — so we can follow up"), 10, 0.85,
                        m_emailSection);
    m_email->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoAutoUppercase);
    {
        auto* column = new QVBoxLayout(m_panel);
        column->setContentsMargins(10, 7, 10, 7);
        column->setSpacing(6);
        auto* line = new QHBoxLayout;
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(6);
        line->addWidget(m_text, 1);
        line->addWidget(m_spinner);
        line->addWidget(m_send);
        column->addLayout(line);
        auto* email = new QVBoxLayout(m_emailSection);
        email->setContentsMargins(0, 0, 0, 0);
        email->setSpacing(6);
        email->addWidget(new Divider);
        email->addWidget(m_email);
        column->addWidget(m_emailSection);
    }

    m_failed =
        new QLabel(QStringLiteral("Couldn't send — check your connection and try again"), this);
    PopoverStyle::styleLabel(m_failed, PopoverStyle::systemFont(9),
                             QColor::fromRgbF(1.0f, 0.58f, 0.0f, 0.8f));
    m_failed->setContentsMargins(2, 0, 0, 0);
    m_failed->setWordWrap(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(m_sentRow);
    column->addWidget(m_panel);
    column->addWidget(m_failed);

    connect(m_text, &QLineEdit::textChanged, this, [this] { refresh(); });
    connect(m_text, &QLineEdit::returnPressed, this, &FeedbackBoxView::submitFeedback);
    connect(m_email, &QLineEdit::returnPressed, this, &FeedbackBoxView::submitFeedback);
    connect(m_send, &QAbstractButton::clicked, this, &FeedbackBoxView::submitFeedback);

    m_sentRow->hide();
    m_spinner->hide();
    m_send->hide();
    m_emailSection->hide();
    m_failed->hide();
}

QString FeedbackBoxView::feedbackText() const {
    return m_text->text();
}
QString FeedbackBoxView::feedbackEmail() const {
    return m_email->text();
}
QWidget* FeedbackBoxView::sendButton() const {
    return m_send;
}
QWidget* FeedbackBoxView::activityIndicator() const {
    return m_spinner;
}

bool FeedbackBoxView::hasSendableText(const QString& text) {
    // trimmed() drops every kind of blank, line breaks included, at both ends.
    return !text.trimmed().isEmpty();
}

void FeedbackBoxView::submitFeedback() {
    const QString text = m_text->text().trimmed();
    if (text.isEmpty() || m_count >= maxNotes || m_state == FeedbackState::sending) return;
    const Start start = m_sender(text, m_email->text().trimmed());
    if (!start) return;
    setState(FeedbackState::sending);
    QPointer<FeedbackBoxView> self(this);
    start([self](bool ok) {
        if (!self) return;
        if (!ok) {
            self->setState(FeedbackState::failed);
            return;
        }
        ++self->m_count;
        self->m_text->clear();
        self->m_email->clear();
        self->setState(FeedbackState::sent);
        QTimer::singleShot(sentConfirmationMs, self, [self] {
            if (self && self->m_state == FeedbackState::sent) self->setState(FeedbackState::idle);
        });
    });
}

void FeedbackBoxView::setState(FeedbackState state) {
    m_state = state;
    refresh();
    emit stateChanged(state);
}

void FeedbackBoxView::refresh() {
    const bool sent = m_state == FeedbackState::sent;
    const bool sending = m_state == FeedbackState::sending;
    const bool sendable = hasSendableText(m_text->text());
    fadeVisibility(m_sentRow, sent);
    fadeVisibility(m_panel, !sent);
    m_spinner->setVisible(sending);
    fadeVisibility(m_send, !sending && sendable);
    fadeVisibility(m_emailSection, sendable);
    fadeVisibility(m_failed, m_state == FeedbackState::failed);
}
