#include "check/TextStorage.h"

namespace check {

FontDescription convertFontToHaveTrait(const FontDescription& font, unsigned trait)
{
    FontDescription converted = font;
    if (trait & kBoldFontMask)
        converted.bold = true;
    return converted;
}

void TextStorage::appendAttributedString(const StyledString& run)
{
    mRuns.append(run);
    mLength += run.text.size();
    if (mObserver)
        mObserver(run);
}

QString TextStorage::string() const
{
    QString text;
    text.reserve(mLength);
    for (const StyledString& run : mRuns)
        text += run.text;
    return text;
}

} // namespace check
