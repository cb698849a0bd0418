#include "settings/ShortcutRecorderRow.h"

#include "platform/GlobalHotKeys.h"
#include "platform/Platform.h"
#include "platform/ShortcutKeyTable.h"
#include "settings/SettingsWidgets.h"
#include "settings/ShortcutRecorder.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>
#include <QWindow>
#include <functional>

using namespace ShortcutKeyTable;

namespace {

// The keysym of a key event that carries none (synthesised events): Latin-1 keys are
// their own keysyms, the rest the recorder names are listed.
quint32 keysymOfQtKey(int key) {
    if (key >= 0x20 && key < 0x7f) return quint32(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return 0xffbe + quint32(key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Escape:
        return 0xff1b;
    case Qt::Key_Return:
        return 0xff0d;
    case Qt::Key_Tab:
        return 0xff09;
    case Qt::Key_Backspace:
        return 0xff08;
    case Qt::Key_Left:
        return 0xff51;
    case Qt::Key_Up:
        return 0xff52;
    case Qt::Key_Right:
        return 0xff53;
    case Qt::Key_Down:
        return 0xff54;
    default:
        return 0;
    }
}

std::optional<quint16> storedKeyCode(const QKeyEvent& e) {
    // The physical key first, so Shift+1 is still the 1 key.
    if (e.nativeScanCode())
        if (auto code = Platform::instance().globalHotKeys().keyCodeOfScanCode(e.nativeScanCode()))
            return code;
    if (e.nativeVirtualKey())
        if (auto code = keyCodeForKeysym(e.nativeVirtualKey())) return code;
    if (const quint32 sym = keysymOfQtKey(e.key())) return keyCodeForKeysym(sym);
    return std::nullopt;
}

quint64 storedModifierBits(Qt::KeyboardModifiers m) {
    quint64 bits = 0;
    if (m & Qt::ShiftModifier) bits |= shiftFlag;
    if (m & Qt::ControlModifier) bits |= controlFlag;
    if (m & Qt::AltModifier) bits |= optionFlag;
    if (m & Qt::MetaModifier) bits |= commandFlag;
    return bits;
}

// The key monitor of one recording: an application filter that takes every key of the
// row's window (before its shortcuts, the Escape that closes it among them) and ends the
// recording when the window goes away or a click lands anywhere but the chip. It is
// removed when destroyed.
class RecordingMonitor final : public QObject {
public:
    RecordingMonitor(ShortcutRecorder& recorder, ShortcutChip* chip)
        : m_recorder(recorder), m_chip(chip), m_window(chip->window()) {
        qApp->installEventFilter(this);
    }
    ~RecordingMonitor() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            if (!inWindow(watched)) return false;
            event->accept(); // the key is the recorder's, not a shortcut's
            return true;
        case QEvent::KeyPress: {
            if (!inWindow(watched)) return false;
            const auto* key = static_cast<QKeyEvent*>(event);
            if (const auto code = storedKeyCode(*key))
                later([r = QPointer<ShortcutRecorder>(&m_recorder), keyCode = *code,
                       mods = storedModifierBits(key->modifiers())] {
                    if (r) r->keyDown(keyCode, mods);
                });
            return true;
        }
        case QEvent::KeyRelease:
            return inWindow(watched);
        case QEvent::MouseButtonPress:
            if (watched->isWidgetType() && static_cast<QWidget*>(watched) != m_chip.data() &&
                !watched->isWindowType())
                later([r = QPointer<ShortcutRecorder>(&m_recorder)] {
                    if (r) r->stopRecording();
                });
            return false;
        case QEvent::Hide:
        case QEvent::WindowDeactivate:
            if (watched == m_window || watched == m_chip)
                later([r = QPointer<ShortcutRecorder>(&m_recorder)] {
                    if (r) r->stopRecording();
                });
            return false;
        default:
            return false;
        }
    }

private:
    bool inWindow(QObject* o) const {
        if (!m_window) return false;
        if (o->isWidgetType()) return static_cast<QWidget*>(o)->window() == m_window;
        return o == m_window->windowHandle();
    }
    // The recorder may destroy this monitor: never from inside its own filter.
    void later(std::function<void()> f) {
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
    }

    ShortcutRecorder& m_recorder;
    QPointer<ShortcutChip> m_chip;
    QPointer<QWidget> m_window;
};

// "Reset": a plain word that acts as a button.
class TextButton final : public QAbstractButton {
public:
    explicit TextButton(const QString& text) {
        setText(text);
        setFont(PopoverStyle::systemFont(10, QFont::Medium));
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
    }
    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        return {fm.horizontalAdvance(text()) + 4, fm.height()};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setFont(font());
        p.setPen(GlassPainter::white(0.3));
        p.drawText(rect(), Qt::AlignCenter, text());
    }
};

} // namespace

// ---- Chip ----

ShortcutChip::ShortcutChip(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFont(PopoverStyle::systemFont(12, QFont::DemiBold));
    QFont f = font();
    f.setStyleHint(QFont::Monospace);
    f.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    setFont(f);
    setFocusPolicy(Qt::NoFocus);
}

void ShortcutChip::setRecording(bool recording) {
    m_recording = recording;
    setToolTip(recording ? QStringLiteral("Press a key combo or Escape to cancel")
                         : QStringLiteral("Click to change shortcut"));
    updateGeometry();
    update();
}

QSize ShortcutChip::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(text()) + 20, fm.height() + 8};
}

void ShortcutChip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath shape = GlassPainter::continuousRoundedRect(r, 6);
    p.fillPath(shape, m_recording ? SettingsStyle::accent(0.15) : GlassPainter::white(0.05));
    if (m_recording) p.strokePath(shape, QPen(SettingsStyle::accent(0.5), 1));
    p.setFont(font());
    p.setPen(m_recording ? SettingsStyle::accent() : GlassPainter::white(0.6));
    p.drawText(rect(), Qt::AlignCenter, text());
}

// ---- Row ----

ShortcutRecorderRow::ShortcutRecorderRow(ShortcutManager& manager, ShortcutAction action,
                                         QWidget* parent)
    : QWidget(parent), m_recorder(new ShortcutRecorder(manager, action, this)) {
    setObjectName(QStringLiteral("ShortcutRecorderRow-") + rawValue(action));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(SettingsStyle::label(ShortcutRecorder::label(action), 12, QFont::Medium,
                                        GlassPainter::white(0.6)));
    row->addStretch(1);
    m_reset = new TextButton(QStringLiteral("Reset"));
    m_reset->setToolTip(QStringLiteral("Restore default shortcut"));
    row->addWidget(m_reset);
    m_chip = new ShortcutChip;
    row->addWidget(m_chip);
    column->addLayout(row);

    auto* held = new QWidget;
    auto* heldRow = new QHBoxLayout(held);
    heldRow->setContentsMargins(0, 0, 0, 0);
    heldRow->setSpacing(5);
    heldRow->addWidget(new SymbolWidget(QStringLiteral("exclamationmark.triangle"), 10,
                                        GlassPainter::srgb(1.0, 0.8, 0.0)));
    heldRow->addWidget(SettingsStyle::label(
        QStringLiteral("Another application holds this shortcut — it works only in Halcyra's "
                       "windows"),
        10, QFont::Normal, GlassPainter::white(0.6)));
    heldRow->addStretch(1);
    m_held = held;
    column->addWidget(held);

    m_recorder->monitorFactory = [this](ShortcutRecorder& r) -> std::unique_ptr<QObject> {
        return std::make_unique<RecordingMonitor>(r, m_chip);
    };
    connect(m_chip, &QAbstractButton::clicked, m_recorder, &ShortcutRecorder::chipClicked);
    connect(m_reset, &QAbstractButton::clicked, m_recorder, &ShortcutRecorder::reset);
    connect(m_recorder, &ShortcutRecorder::stateChanged, this, &ShortcutRecorderRow::refresh);
    refresh();
}

ShortcutRecorderRow::~ShortcutRecorderRow() = default;

void ShortcutRecorderRow::refresh() {
    m_chip->setText(m_recorder->chipText());
    m_chip->setRecording(m_recorder->isRecording());
    m_reset->setVisible(m_recorder->showsReset());
    m_held->setVisible(m_recorder->heldElsewhere());
}

QWidget* fixedShortcutRow(const QString& label, const QString& keys) {
    auto* w = new QWidget;
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(SettingsStyle::label(label, 12, QFont::Medium, GlassPainter::white(0.6)));
    row->addStretch(1);
    QLabel* k = SettingsStyle::label(keys, 12, QFont::DemiBold, GlassPainter::white(0.6));
    QFont f = k->font();
    f.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    k->setFont(f);
    row->addWidget(k);
    return w;
}
