#include "effect/CompressionViewer.h"
#include "effect/Strings.h"
#include "support/StringsResource.h"

Zovazaz::WString& CompressionViewer::GetParameterText(Zovazaz::WString& out, std::int32_t position)
{
    switch (position)
    {
    case ParamInformation:
        out = u"N/A";
        break;
    case ParamAbout:
        out.clear();
        break;
    default:
    {
        const char16_t* unknown =
            Zovazaz::StringsResource::GetInstance().GetWideString(StringUnknown);
        out = unknown != nullptr ? unknown : u"Unknown";
        break;
    }
    }
    return out;
}

void CompressionViewer::DrawLogo(Plugin&, DrawContext&) {}
