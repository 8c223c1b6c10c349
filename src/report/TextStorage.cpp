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
    appendRun(run);
}

void TextStorage::appendRun(const StyledString& run)
{
    mRuns.append(run);
    mLength += run.text.size();
    if (mObserver)
        mObserver(run);
}

void TextStorage::appendReport(const TextStorage& other, qsizetype firstRun, qsizetype endRun, qsizetype firstFinding)
{
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
}

void TextStorage::appendFinding(Finding finding, const FontDescription& font, const StyledString* icon, bool bare)
{
    QList<StyledString> line;
    if (!bare) {
        if (icon)
            line.append(*icon);
        line.append(StyledString{QStringLiteral(" "), font, nullptr});
    }
    if (finding.position.line > 0 && !finding.inResource)
        line.append(StyledString{findingPlaceText(finding.position), font, nullptr});
    if (!finding.text.isEmpty())
        line.append(StyledString{finding.text, font, nullptr});
    line.append(StyledString{findingIdText(finding), font, nullptr});
    if (!bare)
        line.append(StyledString{QStringLiteral("\n"), font, nullptr});
    // The record goes first: an observer may ask which finding a run shows.
    finding.firstRun = mRuns.size();
    finding.endRun = finding.firstRun + line.size();
    mFindings.append(std::move(finding));
    for (const StyledString& run : line)
        appendRun(run);
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
