// Renders the Markdown manual into a PDF at build time with Qt's own text layout, so the build
// needs no document tool. Images are resolved relative to the Markdown file's folder; an image
// that is missing is replaced by its caption, so a build without screenshots still succeeds.

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>
#include <cstdio>

namespace {

constexpr int Resolution = 300;
// Qt lays the document out in points when printing; wider images would be cut at the margin.
constexpr qreal MaxImageWidth = 440.0;

void Fail(const QString& message) {
    std::fprintf(stderr, "render-manual: %s\n", qPrintable(message));
}

// "![caption](file)" whose file does not exist becomes the caption in italics.
QString WithoutMissingImages(QString markdown, const QString& folder) {
    static const QRegularExpression image(QStringLiteral(R"(!\[([^\]]*)\]\(([^)\s]+)\))"));
    QRegularExpressionMatchIterator it = image.globalMatch(markdown);
    QList<QRegularExpressionMatch> missing;
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (!QFileInfo::exists(folder + QLatin1Char('/') + match.captured(2)))
            missing.prepend(match); // replace from the end so earlier offsets stay valid
    }
    for (const QRegularExpressionMatch& match : missing) {
        std::fprintf(stderr, "render-manual: image %s not found; its caption stands in\n",
                     qPrintable(match.captured(2)));
        markdown.replace(match.capturedStart(), match.capturedLength(),
                         QStringLiteral("*(") + match.captured(1) + QStringLiteral(")*"));
    }
    return markdown;
}

// Hands every image to the document and scales it down to the text width, keeping its
// aspect ratio. The document alone does not read image files when it prints (the PDF would
// hold an empty frame), so each is loaded from the Markdown file's folder. Returns false when
// an image cannot be read.
bool LoadImages(QTextDocument& document, const QString& folder) {
    bool allRead = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QString path = folder + QLatin1Char('/') + format.name();
            const QImage image(path);
            if (image.isNull()) {
                Fail(path + QStringLiteral(": not a readable image"));
                allRead = false;
                continue;
            }
            document.addResource(QTextDocument::ImageResource, QUrl(format.name()), image);
            const QSize size = image.size();
            if (size.width() <= MaxImageWidth)
                continue;
            format.setWidth(MaxImageWidth);
            format.setHeight(MaxImageWidth * size.height() / size.width());
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
    return allRead;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        Fail(QStringLiteral("usage: render-manual MANUAL.md OUTPUT.pdf"));
        return 2;
    }
    const QString source = arguments.at(1);
    const QString target = arguments.at(2);

    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        Fail(source + QStringLiteral(": ") + input.errorString());
        return 1;
    }
    const QString folder = QFileInfo(source).absolutePath();
    const QString markdown = WithoutMissingImages(QString::fromUtf8(input.readAll()), folder);

    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    document.setBaseUrl(QUrl::fromLocalFile(folder + QLatin1Char('/')));
    document.setMarkdown(markdown);
    if (!LoadImages(document, folder))
        return 1;

    // Written beside the target and renamed, so an interrupted build leaves no torn PDF that
    // a later build would take as up to date.
    const QString partial = target + QStringLiteral(".part");
    {
        QPdfWriter writer(partial);
        writer.setResolution(Resolution);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setTitle(QStringLiteral("Quillmarch User's Manual"));
        writer.setCreator(QStringLiteral("Quillmarch"));
        document.print(&writer);
    }
    QFile::remove(target);
    if (QFileInfo(partial).size() == 0 || !QFile::rename(partial, target)) {
        Fail(target + QStringLiteral(": could not be written"));
        QFile::remove(partial);
        return 1;
    }
    return 0;
}
