// The help pages as a browser finds them: local links lead to pages and places that exist.

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QString kHelp = QStringLiteral(LUMIVEX_HELP_DIR);

QString page(const QString& name) {
    QFile file(kHelp + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList matches(const QString& text, const char* pattern) {
    QStringList found;
    auto it = QRegularExpression(QString::fromLatin1(pattern)).globalMatch(text);
    while (it.hasNext())
        found << it.next().captured(1);
    return found;
}

TEST(HelpPages, EveryLocalLinkLeadsToAnExistingPageAndPlaceAndTheContentsReachEveryPage) {
    const QStringList pages = QDir(kHelp).entryList({QStringLiteral("*.html")}, QDir::Files);
    ASSERT_TRUE(pages.contains(QStringLiteral("index.html")));
    const QStringList contents = matches(page(QStringLiteral("index.html")), "href=\"([^\"#]*)");
    for (const QString& name : pages) {
        const QString text = page(name);
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(name == QLatin1String("index.html") || contents.contains(name));
        EXPECT_TRUE(text.startsWith(QStringLiteral("<!DOCTYPE html>")) &&
                    text.contains(QStringLiteral("<meta charset=\"utf-8\">")) &&
                    text.contains(QStringLiteral("href=\"style.css\"")) &&
                    matches(text, "<title>([^<]*)</title>").size() == 1);
        for (const QString& href : matches(text, "href=\"([^\"]*)\"")) {
            if (href.contains(QLatin1Char(':')))
                continue; // another site
            const QString target = href.section(QLatin1Char('#'), 0, 0);
            const QString anchor = href.section(QLatin1Char('#'), 1);
            const QString targetText = target.isEmpty() ? text : page(target);
            EXPECT_FALSE(targetText.isEmpty()) << href.toStdString();
            EXPECT_TRUE(anchor.isEmpty() ||
                        targetText.contains(QStringLiteral("id=\"%1\"").arg(anchor)))
                << href.toStdString();
        }
    }
}

} // namespace
