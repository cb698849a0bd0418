#include "settings/TestimonialCard.h"

#include "popover/PopoverChrome.h"
#include "settings/SettingsViewModel.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <cmath>

namespace {

// The accent-tinted Submit button; while a request is in flight a small spinner, then
// "Sending...".
class SubmitButton : public QAbstractButton {
public:
    static constexpr int spinnerSide = 12, spinnerGap = 4;

    SubmitButton() : m_spinner(new ActivityIndicator(this, spinnerSide, 0.6)) {
        setCursor(Qt::PointingHandCursor);
        setText(QStringLiteral("Submit"));
        m_spinner->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_spinner->hide();
    }
    void setSending(bool sending) {
        if (sending == m_sending) return;
        m_sending = sending;
        m_spinner->setVisible(sending);
        placeSpinner();
        updateGeometry();
        update();
    }
    QSize sizeHint() const override {
        const QFontMetrics fm(PopoverStyle::systemFont(11, QFont::DemiBold));
        const int spinner = m_sending ? spinnerSide + spinnerGap : 0;
        return {spinner + fm.horizontalAdvance(text()) + 28, fm.height() + 12};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setOpacity(isEnabled() || m_sending ? 1.0 : 0.5);
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        p.fillPath(GlassPainter::continuousRoundedRect(r, 8), SettingsStyle::accent(0.4));
        GlassPainter::strokeInside(p, r, 8, SettingsStyle::accent(0.6), 1.0);
        const QFont font = PopoverStyle::systemFont(11, QFont::DemiBold);
        QRectF label = r;
        if (m_sending) label.setLeft(m_spinner->geometry().right() + 1 + spinnerGap);
        p.setPen(Qt::white);
        p.setFont(font);
        p.drawText(label, m_sending ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter, text());
    }
    void resizeEvent(QResizeEvent*) override { placeSpinner(); }

private:
    // The spinner and the text are centred together.
    void placeSpinner() {
        const QFont font = PopoverStyle::systemFont(11, QFont::DemiBold);
        const double textW = QFontMetricsF(font).horizontalAdvance(text());
        const double left = width() / 2.0 - (spinnerSide + spinnerGap + textW) / 2;
        m_spinner->move(int(std::lround(left)), (height() - spinnerSide) / 2);
    }

    ActivityIndicator* m_spinner;
    bool m_sending = false;
};

} // namespace

TestimonialCard::TestimonialCard(SettingsViewModel& vm, Hover hover, QWidget* parent)
    : GlassCard(parent, hover), m_vm(vm), m_faceAnimation(new QVariantAnimation(this)) {
    column()->setSpacing(12);
    m_faceAnimation->setDuration(200);
    m_faceAnimation->setEasingCurve(QEasingCurve::OutQuad);
    m_faceAnimation->setStartValue(0.0);
    m_faceAnimation->setEndValue(1.0);
    connect(m_faceAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        const double t = v.toDouble();
        setFixedHeight(int(std::lround(m_fromHeight + (m_toHeight - m_fromHeight) * t)));
        for (QWidget* face : {m_invitation, m_editorFace})
            if (auto* fade = qobject_cast<QGraphicsOpacityEffect*>(face->graphicsEffect()))
                fade->setOpacity(t);
    });
    connect(m_faceAnimation, &QVariantAnimation::finished, this,
            &TestimonialCard::endFaceAnimation);

    // Invitation: the whole row is one button.
    m_invitation = new QWidget;
    m_invitation->setCursor(Qt::PointingHandCursor);
    {
        auto* row = new QHBoxLayout(m_invitation);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(10);
        row->addWidget(new SymbolWidget(QStringLiteral("heart.circle.fill"), 16,
                                        GlassPainter::srgb(1.0, 0.18, 0.33, 0.7)));
        auto* text = new QVBoxLayout;
        text->setSpacing(2);
        text->addWidget(SettingsStyle::label(QStringLiteral("Love Halcyra?"), 13, QFont::DemiBold,
                                             GlassPainter::white(0.8)));
        text->addWidget(SettingsStyle::label(
            QStringLiteral("Tell us what you love — it helps us build better."), 10, QFont::Normal,
            GlassPainter::white(0.4)));
        row->addLayout(text, 1);
        row->addWidget(
            new SymbolWidget(QStringLiteral("chevron.right"), 10, GlassPainter::white(0.2)));
        for (QObject* child : m_invitation->children())
            if (auto* w = qobject_cast<QWidget*>(child))
                w->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    column()->addWidget(m_invitation);
    connect(this, &GlassCard::clicked, this, [this] {
        if (face() == Face::invitation) m_vm.setShowTestimonialField(true);
    });

    m_editorFace = new QWidget;
    {
        auto* col = new QVBoxLayout(m_editorFace);
        col->setContentsMargins(0, 0, 0, 0);
        col->setSpacing(10);
        col->addWidget(SettingsStyle::label(QStringLiteral("What do you love about Halcyra?"), 12,
                                            QFont::DemiBold, GlassPainter::white(0.8)));
        m_edit = new QPlainTextEdit;
        m_edit->setFixedHeight(60 + 16);
        m_edit->setFont(PopoverStyle::systemFont(12));
        m_edit->setStyleSheet(QStringLiteral(
            "QPlainTextEdit { color: white; background: rgba(255,255,255,13); padding: 4px; "
            "border: 1px solid rgba(255,255,255,26); border-radius: 8px; }"));
        col->addWidget(m_edit);
        m_error =
            SettingsStyle::label(QString(), 11, QFont::Medium, GlassPainter::srgb(0.95, 0.45, 0.4));
        col->addWidget(m_error);
        auto* buttons = new QHBoxLayout;
        auto* cancel = new QPushButton(QStringLiteral("Cancel"));
        cancel->setFlat(true);
        cancel->setCursor(Qt::PointingHandCursor);
        cancel->setFont(PopoverStyle::systemFont(11, QFont::Medium));
        cancel->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; "
                                             "color: rgba(255,255,255,102); }"));
        buttons->addWidget(cancel);
        buttons->addStretch(1);
        m_submit = new SubmitButton;
        buttons->addWidget(m_submit);
        col->addLayout(buttons);
        connect(cancel, &QPushButton::clicked, this, [this] { m_vm.cancelTestimonial(); });
        connect(m_submit, &QAbstractButton::clicked, this, [this] { m_vm.submitTestimonial(); });
        connect(m_edit, &QPlainTextEdit::textChanged, this,
                [this] { m_vm.setTestimonialText(m_edit->toPlainText()); });
    }
    column()->addWidget(m_editorFace);

    m_thanks = new QWidget;
    {
        auto* row = new QHBoxLayout(m_thanks);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        row->addWidget(new SymbolWidget(QStringLiteral("heart.fill"), 14,
                                        GlassPainter::srgb(1.0, 0.18, 0.33)));
        row->addWidget(SettingsStyle::label(QStringLiteral("Thank you! Your feedback means a lot."),
                                            12, QFont::Medium, GlassPainter::white(0.7)));
        row->addStretch(1);
    }
    column()->addWidget(m_thanks);
    connect(&m_vm, &SettingsViewModel::testimonialChanged, this, &TestimonialCard::sync);
    sync();
}

TestimonialCard::Face TestimonialCard::face() const {
    if (m_vm.testimonialSubmitted()) return Face::thanks;
    if (m_vm.showTestimonialField()) return Face::editor;
    return Face::invitation;
}

void TestimonialCard::sync() {
    const Face f = face();
    // Opening the editor and cancelling it ease the card to its new height while the new
    // face fades in; the thank-you simply takes the place of the editor.
    const bool eased =
        isVisible() && f != m_shownFace && f != Face::thanks && m_shownFace != Face::thanks;
    const int fromHeight = height();
    m_shownFace = f;
    m_invitation->setVisible(f == Face::invitation);
    m_editorFace->setVisible(f == Face::editor);
    m_thanks->setVisible(f == Face::thanks);
    if (eased)
        animateFace(fromHeight, f == Face::editor ? m_editorFace : m_invitation);
    else if (f == Face::thanks)
        endFaceAnimation();
    setCursor(f == Face::invitation ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (m_edit->toPlainText() != m_vm.testimonialText()) {
        const QSignalBlocker block(m_edit);
        m_edit->setPlainText(m_vm.testimonialText());
    }
    const bool sending = m_vm.testimonialSubmitting();
    m_submit->setText(sending ? QStringLiteral("Sending...") : QStringLiteral("Submit"));
    static_cast<SubmitButton*>(m_submit)->setSending(sending);
    m_submit->setEnabled(!sending && !m_vm.testimonialText().trimmed().isEmpty());
    m_submit->updateGeometry();
    m_edit->setReadOnly(sending);
    m_error->setText(m_vm.testimonialError());
    m_error->setVisible(!m_vm.testimonialError().isEmpty());
}

void TestimonialCard::animateFace(int fromHeight, QWidget* incoming) {
    endFaceAnimation();
    m_fromHeight = fromHeight;
    layout()->invalidate();
    m_toHeight = layout()->totalSizeHint().height();
    auto* fade = new QGraphicsOpacityEffect(incoming);
    fade->setOpacity(0.0);
    incoming->setGraphicsEffect(fade);
    setFixedHeight(fromHeight);
    m_faceAnimation->start();
}

void TestimonialCard::endFaceAnimation() {
    m_faceAnimation->stop();
    m_invitation->setGraphicsEffect(nullptr);
    m_editorFace->setGraphicsEffect(nullptr);
    setMinimumHeight(0);
    setMaximumHeight(QWIDGETSIZE_MAX);
}
