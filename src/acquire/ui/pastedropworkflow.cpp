#include "acquire/ui/pastedropworkflow.h"

#include "acquire/acquiremessages.h"
#include "acquire/ui/acquiredpictureadder.h"
#include "acquire/ui/picturedownloadworkflow.h"
#include "common/prompts.h"
#include "imaging/picturefiles.h"
#include "imaging/ui/qtbitmap.h"
#include "options/options.h"

#include <QMimeData>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

namespace quillon {

namespace {

constexpr const char* kMozURL = "text/x-moz-url";

// Firefox writes text/x-moz-url as UTF-16 in the machine's order, with or without a mark.
QList<QUrl> MozURLs(const QByteArray& data)
{
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData()), data.size() / 2);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QList<QUrl> urls;
    const QStringList lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); i += 2) {  // each URL is followed by its title
        const QString line = lines[i].trimmed();
        if (!line.isEmpty())
            urls.append(QUrl(line));
    }
    return urls;
}

bool IsWebURL(const QUrl& url)
{
    return url.isValid() && (url.scheme() == "http" || url.scheme() == "https") && !url.host().isEmpty();
}

void Sort(const QList<QUrl>& urls, TPasteDropOffer& offer)
{
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            offer.files.push_back(url.toLocalFile().toStdString());
        else if (IsWebURL(url))
            offer.urls.push_back(url.toString(QUrl::FullyEncoded).toStdString());
    }
}

} // namespace

TPasteDropOffer OfferOf(const QMimeData& mime)
{
    TPasteDropOffer offer;
    Sort(mime.urls(), offer);
    if (offer.files.empty() && offer.urls.empty() && mime.hasFormat(kMozURL))
        Sort(MozURLs(mime.data(kMozURL)), offer);
    if (!offer.files.empty() || !offer.urls.empty())
        return offer;
    if (mime.hasImage()) {
        offer.picture = qvariant_cast<QImage>(mime.imageData());
        if (!offer.picture.isNull())
            return offer;
    }
    const QString text = mime.text().trimmed();
    if (!text.isEmpty() && !text.contains(QRegularExpression("\\s"))) {
        const QUrl url(text, QUrl::StrictMode);
        if (IsWebURL(url))
            offer.urls.push_back(url.toString(QUrl::FullyEncoded).toStdString());
    }
    return offer;
}

bool MayOfferPicture(const QMimeData& mime)
{
    return mime.hasUrls() || mime.hasFormat(kMozURL) || mime.hasImage() || mime.hasText();
}

TPasteDropWorkflow::TPasteDropWorkflow(TAcquiredPictureAdder& adder, const TOptions& options,
                                       TPictureDownloadWorkflow& download, TPrompts& prompts,
                                       std::function<void(const std::string& file)> addFile)
    : adder_(adder), options_(options), download_(download), prompts_(prompts), addFile_(std::move(addFile))
{
}

void TPasteDropWorkflow::Paste(const QMimeData* mime)
{
    if (mime)
        Take(OfferOf(*mime));
}

void TPasteDropWorkflow::Drop(const QMimeData* mime)
{
    if (!mime)
        return;
    TPasteDropOffer offer = OfferOf(*mime);
    if (!offer.Empty())
        QTimer::singleShot(0, this, [this, offer = std::move(offer)] { Take(offer); });
}

void TPasteDropWorkflow::Take(const TPasteDropOffer& offer)
{
    for (const std::string& file : offer.files)
        addFile_(file);
    for (const std::string& url : offer.urls)
        download_.DownloadURL(url);
    if (offer.picture.isNull())
        return;
    // The rules a picture file meets before it joins the directory.
    if (const std::string problem = CheckPictureSize(offer.picture.width(), offer.picture.height()); !problem.empty())
        prompts_.Error(problem);
    else
        adder_.Add(BitmapFromImage(offer.picture), {kPastedImageName, kTitlePastedImageName, kPromptPastedImageName},
                   options_.grabasktargetname, options_.grabbedfileformat);
}

} // namespace quillon
