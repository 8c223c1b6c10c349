#include "report/TextStorage.h"

#include <algorithm>
#include <iterator>

namespace report {

namespace {

// What the report shows of a finding besides its text: the place before it, the ID after.
QString findingPlaceText(const Position& position)
{
    return QStringLiteral("line %1: ").arg(position.line);
}

QString findingIdText(const Finding& finding)
{
    return QStringLiteral(" [%1]").arg(finding.messageKey);
}

} // namespace

FontDescription convertFontToHaveTrait(const FontDescription& font, unsigned trait)
{
    FontDescription converted = font;
    if (trait & kBoldFontMask)
        converted.bold = true;
    return converted;
}

void TextStorage::appendAttributedString(const StyledString& run)
{
    // The line end that closes a finding comes after its ID.
    if (mFindingOpen && !run.attachment && !mFindings.last().messageKey.isEmpty()) {
        const qsizetype end = run.text.indexOf(QLatin1Char('\n'));
        if (end >= 0) {
            if (end > 0)
                appendRun(StyledString{run.text.left(end), run.font, nullptr});
            appendAside(StyledString{findingIdText(mFindings.last()), run.font, nullptr});
            appendRun(StyledString{run.text.mid(end), run.font, nullptr});
            return;
        }
    }
    appendRun(run);
}

void TextStorage::appendRun(const StyledString& run)
{
    mRuns.append(run);
    mLength += run.text.size();
    if (mFindingOpen)
        addToOpenFinding(run);
    if (mObserver)
        mObserver(run);
}

void TextStorage::appendReport(const TextStorage& other, qsizetype firstRun, qsizetype endRun, qsizetype firstFinding)
{
    mFindingOpen = false;
    const qsizetype shift = mRuns.size() - firstRun;
    // The records go first: an observer may ask which finding a run shows.
    for (qsizetype f = firstFinding; f < other.mFindings.size() && other.mFindings[f].firstRun < endRun; ++f) {
        Finding finding = other.mFindings[f];
        finding.firstRun += shift;
        finding.endRun = std::min(finding.endRun, endRun) + shift;
        mFindings.append(std::move(finding));
    }
    for (qsizetype i = firstRun; i < endRun; ++i) {
        mRuns.append(other.mRuns[i]);
        mLength += other.mRuns[i].text.size();
        if (mObserver)
            mObserver(mRuns.last());
    }
}

void TextStorage::clear()
{
    mRuns.clear();
    mLength = 0;
    mFindings.clear();
    mFindingOpen = false;
    mSkipBlank = false;
}

void TextStorage::beginFinding(Finding finding, bool withIcon)
{
    finding.firstRun = mRuns.size();
    finding.endRun = mRuns.size();
    finding.text.clear();
    mFindings.append(std::move(finding));
    mFindingOpen = true;
    mSkipBlank = withIcon;
}

void TextStorage::setFindingMessage(const QString& messageKey, const QString& keyPath,
                                    const QList<std::optional<plist::Value>>& arguments, const Position& position)
{
    if (!mFindingOpen)
        return;
    Finding& finding = mFindings.last();
    const bool first = finding.messageKey.isEmpty();
    if (first) {
        finding.keyPath = keyPath;
        finding.position = position;
    }
    finding.messageKey = messageKey;
    finding.arguments += arguments;
    // The place comes before the message, in the font of what precedes it (the icon's blank).
    if (first && position.line > 0 && !finding.inResource) {
        const std::optional<FontDescription> font = mRuns.isEmpty() ? std::nullopt : mRuns.last().font;
        appendAside(StyledString{findingPlaceText(position), font, nullptr});
    }
}

void TextStorage::setLastFindingFix(std::optional<Fix> fix)
{
    if (!mFindings.isEmpty())
        mFindings.last().fix = std::move(fix);
}

void TextStorage::endFinding()
{
    // A finding without a line end of its own (the guard's) still ends in its ID.
    if (mFindingOpen && !mFindings.last().messageKey.isEmpty()) {
        const std::optional<FontDescription> font = mRuns.isEmpty() ? std::nullopt : mRuns.last().font;
        appendAside(StyledString{findingIdText(mFindings.last()), font, nullptr});
    }
    mFindingOpen = false;
}

void TextStorage::appendAside(const StyledString& run)
{
    mRuns.append(run);
    mLength += run.text.size();
    mFindings.last().endRun = mRuns.size();
    if (mObserver)
        mObserver(run);
}

void TextStorage::removeLastFinding()
{
    if (mFindings.isEmpty())
        return;
    const Finding& finding = mFindings.constLast();
    for (qsizetype i = finding.firstRun; i < finding.endRun; ++i)
        mLength -= mRuns[i].text.size();
    mRuns.remove(finding.firstRun, finding.endRun - finding.firstRun);
    mFindings.removeLast();
    mFindingOpen = false;
    mSkipBlank = false;
}

void TextStorage::addToOpenFinding(const StyledString& run)
{
    Finding& finding = mFindings.last();
    finding.endRun = mRuns.size();
    if (run.attachment)
        return;
    QStringView text(run.text);
    if (mSkipBlank && text.startsWith(QLatin1Char(' ')))
        text = text.mid(1);
    mSkipBlank = false;
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    if (end < 0) {
        finding.text += text;
        return;
    }
    finding.text += text.left(end);
    mFindingOpen = false;
}

const Finding* TextStorage::findingOfRun(qsizetype run) const
{
    // The findings are in the order of their runs: the last one starting at
    // or before the run holds it, if it reaches that far.
    auto after = std::upper_bound(mFindings.cbegin(), mFindings.cend(), run,
                                  [](qsizetype index, const Finding& finding) { return index < finding.firstRun; });
    if (after == mFindings.cbegin())
        return nullptr;
    const Finding& finding = *std::prev(after);
    return run < finding.endRun ? &finding : nullptr;
}

QString TextStorage::string() const
{
    QString text;
    text.reserve(mLength);
    for (const StyledString& run : mRuns)
        text += run.text;
    return text;
}

} // namespace report
