// Every text the application can show lives in its binary's read-only data, as UTF-8
// (plain and translatable literals) or UTF-16 (QStringLiteral). None of them may name a
// place, key or feature of another desktop platform that a Linux user does not have.
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <cstring>
#include <elf.h>
#include <gtest/gtest.h>

namespace {

// The names looked for, each as a whole word (case as written).
const QStringList kForeignWords = {"Mac",
                                   "Macs",
                                   "macOS",
                                   "Mac OS",
                                   "Dock",
                                   "menu bar",
                                   "Menu bar",
                                   "Menu Bar",
                                   "System Settings",
                                   "System Preferences",
                                   "Night Shift",
                                   "VoiceOver",
                                   "Apple",
                                   "Apple Silicon",
                                   "M1",
                                   "F1/F2",
                                   "F1 / F2",
                                   "Touch Bar",
                                   "Control Center",
                                   "Finder",
                                   "Spotlight",
                                   "Launchpad",
                                   "iCloud",
                                   "Keychain",
                                   "Command-",
                                   "Option-",
                                   "Accessibility permission"};
// Looked for anywhere: the other platform's calls (named in logs) and its modifier glyphs.
const QStringList kForeignParts = {"NSStatusItem",
                                   "NSStatusBar",
                                   "NSEvent",
                                   "CGSetDisplayTransferByTable",
                                   "CGDisplay",
                                   "AXIsProcessTrusted",
                                   "Carbon",
                                   "SMAppService",
                                   "DisplayServices",
                                   "ColorSync",
                                   "⌘",
                                   "⌥",
                                   "⌃",
                                   "⇧"};

// Log lines that keep their words: they name no call and no user reads them as advice.
const QStringList kKeptLogTexts = {"menu bar", "Menu bar icon hidden at launch — posted %1 hint"};

// The bytes of every read-only data section of an ELF64 file.
QByteArray readOnlyData(const QByteArray& file) {
    if (file.size() < qsizetype(sizeof(Elf64_Ehdr)) || !file.startsWith("\x7f"
                                                                        "ELF"))
        return {};
    Elf64_Ehdr header;
    std::memcpy(&header, file.constData(), sizeof header);
    if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr))
        return {};
    auto section = [&](int i) {
        Elf64_Shdr s{};
        const qsizetype at = qsizetype(header.e_shoff) + i * qsizetype(sizeof(Elf64_Shdr));
        if (at + qsizetype(sizeof s) <= file.size())
            std::memcpy(&s, file.constData() + at, sizeof s);
        return s;
    };
    const Elf64_Shdr names = section(header.e_shstrndx);
    QByteArray data;
    for (int i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr s = section(i);
        const qsizetype nameAt = qsizetype(names.sh_offset + s.sh_name);
        if (nameAt >= file.size() || s.sh_type != SHT_PROGBITS) continue;
        const QByteArray name(file.constData() + nameAt);
        if (name != ".rodata" && !name.startsWith(".rodata.") && name != ".data.rel.ro") continue;
        if (qsizetype(s.sh_offset + s.sh_size) > file.size()) continue;
        data += file.mid(qsizetype(s.sh_offset), qsizetype(s.sh_size));
        data += '\0';
    }
    return data;
}

bool isTextUnit(char16_t u) {
    return (u >= 0x20 && u < 0x7f) || (u >= 0xa0 && u < 0xd800) || (u >= 0xe000 && u < 0xfffe);
}

// Runs of at least three characters: UTF-8 ones between NUL bytes, and UTF-16 ones at
// both byte alignments.
QStringList texts(const QByteArray& data) {
    QStringList out;
    for (const QByteArray& run : data.split('\0')) {
        if (run.size() < 3) continue;
        const QString s = QString::fromUtf8(run);
        if (!s.contains(QChar::ReplacementCharacter)) out << s;
    }
    for (int align = 0; align < 2; ++align) {
        QString run;
        for (qsizetype i = align; i + 1 < data.size(); i += 2) {
            const char16_t u = char16_t(uchar(data[i]) | (uchar(data[i + 1]) << 8));
            if (isTextUnit(u)) {
                run += QChar(u);
                continue;
            }
            if (run.size() >= 3) out << run;
            run.clear();
        }
    }
    return out;
}

QStringList foreignNamesIn(const QStringList& found) {
    QStringList hits;
    auto look = [&](const QString& name, const QRegularExpression& pattern) {
        for (const QString& text : found)
            if (!kKeptLogTexts.contains(text) && text.contains(pattern))
                hits << QStringLiteral("%1: \"%2\"").arg(name, text);
    };
    for (const QString& name : kForeignWords)
        look(name, QRegularExpression(QStringLiteral("(?<![\\p{L}\\p{N}])") +
                                      QRegularExpression::escape(name) +
                                      QStringLiteral("(?![\\p{L}\\p{N}])")));
    for (const QString& name : kForeignParts)
        look(name, QRegularExpression(QRegularExpression::escape(name)));
    hits.removeDuplicates();
    return hits;
}

} // namespace

TEST(UserVisibleText, TheScanFindsNamesInBothEncodingsAndOnlyAsWholeWords) {
    QByteArray data("\0Show in Dock\0showInDock\0", 25);
    const QString wide = QStringLiteral("Press ⇧⌘S now");
    data += QByteArray(reinterpret_cast<const char*>(wide.utf16()), wide.size() * 2);
    data += QByteArray(3, '\0');
    const QStringList hits = foreignNamesIn(texts(data));
    EXPECT_EQ(hits.size(), 3) << hits.join('\n').toStdString();
    EXPECT_TRUE(hits.contains(QStringLiteral("Dock: \"Show in Dock\"")));
    // The wide text is found at an odd offset, whatever runs on before it.
    EXPECT_EQ(hits.filter(QStringLiteral("Press ⇧⌘S now\"")).size(), 2);
    EXPECT_TRUE(foreignNamesIn({"Shift+Super+S", "this computer", "Macintosh"}).isEmpty());
    EXPECT_EQ(foreignNamesIn({"DisplayServicesSetBrightness failed"}).size(), 1);
}

TEST(UserVisibleText, TheBinaryNamesNothingOfAnotherPlatform) {
    QFile binary(QStringLiteral(HALCYRA_BINARY));
    ASSERT_TRUE(binary.open(QIODevice::ReadOnly)) << HALCYRA_BINARY;
    const QByteArray data = readOnlyData(binary.readAll());
    ASSERT_GT(data.size(), 10000) << "no read-only data found";
    const QStringList found = texts(data);
    // The scan sees the application's own texts in both encodings.
    ASSERT_TRUE(found.contains(QStringLiteral("Reset Display Effects")));
    ASSERT_TRUE(found.contains(QStringLiteral("Smooth Transitions")));
    const QStringList hits = foreignNamesIn(found);
    EXPECT_TRUE(hits.isEmpty()) << hits.join('\n').toStdString();

    // And the service modules the binary opens later, beside it.
    const QString modules = QFileInfo(binary).absolutePath() + QStringLiteral("/lib/halcyra/");
    for (const char* part : {"sound", "capture", "gnome", "location", "network"}) {
        QFile module(modules + QStringLiteral("libhalcyra-%1.so").arg(QLatin1String(part)));
        ASSERT_TRUE(module.open(QIODevice::ReadOnly)) << module.fileName().toStdString();
        const QStringList moduleHits = foreignNamesIn(texts(readOnlyData(module.readAll())));
        EXPECT_TRUE(moduleHits.isEmpty()) << part << ": " << moduleHits.join('\n').toStdString();
    }
}
