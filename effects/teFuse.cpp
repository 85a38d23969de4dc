#include "effects/teFuse.h"

#include "engine/TransEffDevice.h"
#include "imaging/teBlndWk.h"

const POINT SpiralOrder[64] = {
    {4, 3}, {4, 4}, {3, 4}, {3, 3}, {3, 2}, {4, 2}, {5, 2}, {5, 3},
    {5, 4}, {5, 5}, {4, 5}, {3, 5}, {2, 5}, {2, 4}, {2, 3}, {2, 2},
    {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {6, 2}, {6, 3}, {6, 4},
    {6, 5}, {6, 6}, {5, 6}, {4, 6}, {3, 6}, {2, 6}, {1, 6}, {1, 5},
    {1, 4}, {1, 3}, {1, 2}, {1, 1}, {1, 0}, {2, 0}, {3, 0}, {4, 0},
    {5, 0}, {6, 0}, {7, 0}, {7, 1}, {7, 2}, {7, 3}, {7, 4}, {7, 5},
    {7, 6}, {7, 7}, {6, 7}, {5, 7}, {4, 7}, {3, 7}, {2, 7}, {1, 7},
    {0, 7}, {0, 6}, {0, 5}, {0, 4}, {0, 3}, {0, 2}, {0, 1}, {0, 0},
};

namespace {

const TPropInfo FuseProps[] = {
    transitionprops::PassSetting(),
    transitionprops::Pass2Options(),
    transitionprops::Reversed(),
    published::Integer<&TFuseTransition::Style, &TFuseTransition::SetStyle>("Style", 1),
};
String FuseDescription() { return TFuseTransition::Description(); }
String FuseEditor() { return TFuseTransition::GetEditor(); }

// The cells of a line from (x1, y1) towards (x2, y2), end point left out, as the
// platform's line drawing sets them (only straight and 45-degree lines occur here).
void AddLine(std::vector<POINT>& cells, int x1, int y1, int x2, int y2)
{
    int dx = (x2 > x1) - (x2 < x1), dy = (y2 > y1) - (y2 < y1);
    for (int x = x1, y = y1; x != x2 || y != y2; x += dx, y += dy)
        if (x >= 0 && x < 8 && y >= 0 && y < 8)
            cells.push_back(POINT{x, y});
}

}  // namespace

const TTransitionClassInfo TFuseTransition::ClassInfo{
    {"TFuseTransition", &TTimedTransitionEffect::ClassInfo, &CreateInstance<TFuseTransition>, FuseProps},
    &FuseDescription, &FuseEditor};

TFuseTransition::TFuseTransition(TComponent* owner) : TTimedTransitionEffect(owner) {}

TFuseTransition::~TFuseTransition() = default;

void TFuseTransition::SetStyle(int value)
{
    if (value != FStyle && value >= 0 && value <= FStyleCount)
        FStyle = static_cast<uint16_t>(value);
}

int TFuseTransition::StyleToUse()
{
    int s = FStyle;
    if (s == 0) {
        if (FRandomStyle == 0)
            FRandomStyle = static_cast<uint16_t>(Random(FStyleCount) + 1);
        s = FRandomStyle;
    }
    if (FReversed && s >= 2)
        s = (s % 2 == 0) ? s + 1 : s - 1;   // 2<->3, 4<->5, ..., 12<->13
    return s;
}

void TFuseTransition::Assign(TPersistent* source)
{
    TTimedTransitionEffect::Assign(source);
    if (auto* fuse = dynamic_cast<TFuseTransition*>(source))
        SetStyle(fuse->Style());
}

std::vector<POINT> TFuseTransition::FrameCells(int style, int k, int n)
{
    std::vector<POINT> cells;
    auto square = [&](int kk) {   // right and bottom edges of the square of side kk at the top left
        if (kk == 1) {
            cells.push_back(POINT{0, 0});
            return;
        }
        int a = kk - 1;
        AddLine(cells, a, 0, a, a);
        AddLine(cells, a, a, -1, a);
    };
    auto diagonal = [&](int kk) { AddLine(cells, kk - 8, 0, kk, 8), AddLine(cells, kk, 0, kk + 8, 8); };
    auto antiDiagonal = [&](int kk) { AddLine(cells, kk + 7, 0, kk - 1, 8), AddLine(cells, kk - 1, 0, kk - 9, 8); };
    switch (style) {
    case 1:
        if (k >= 1 && k <= 64)
            cells.push_back(POINT{DitherOrder[k - 1].X, DitherOrder[k - 1].Y});
        break;
    case 2: AddLine(cells, 0, k - 1, 8, k - 1); break;
    case 3: AddLine(cells, 0, n - k + 1, 8, n - k + 1); break;
    case 4: AddLine(cells, k - 1, 0, k - 1, 8); break;
    case 5: AddLine(cells, n - k + 1, 0, n - k + 1, 8); break;
    case 6: square(k); break;
    case 7: square(n - k + 2); break;
    case 8:
        if (k >= 1 && k <= 64)
            cells.push_back(SpiralOrder[k - 1]);
        break;
    case 9:
        if (n - k + 2 >= 1 && n - k + 2 <= 64)
            cells.push_back(SpiralOrder[n - k + 1]);
        break;
    case 10: diagonal(k); break;
    case 11: diagonal(n - k + 2); break;
    case 12: antiDiagonal(k); break;
    case 13: antiDiagonal(n - k + 2); break;
    default: break;
    }
    return cells;
}

void TFuseTransition::Initialize(TTETransitionData* data, int& frames)
{
    Randomize();
    FPattern = std::make_unique<TBitmap>();
    FPattern->Canvas()->Lock();
    FPattern->SetMonochrome(true);
    FPattern->SetSize(8, 8);
    FPattern->Canvas()->Brush()->SetColor(clWhite);
    FPattern->Canvas()->FillRect(RECT{0, 0, 8, 8});
    frames = FramesOfStyle(StyleToUse());
}

void TFuseTransition::Finalize(TTETransitionData* data)
{
    if (FPattern) {
        FPattern->Canvas()->Unlock();
        FPattern.reset();
    }
    if (data->PassCount == 1 || data->Pass == 2)
        FRandomStyle = 0;
    TTimedTransitionEffect::Finalize(data);
}

void TFuseTransition::ExecuteFrame(TTETransitionData* data, int currentFrame, int step, int prevFrame)
{
    data->UpdateRect = RECT{0, 0, data->Width, data->Height};
    if (!FPattern || !data->WorkBitmap || !data->DstImage)
        return;
    const int style = StyleToUse();
    TCanvas* pattern = FPattern->Canvas();
    for (int k = currentFrame - step + 1; k <= currentFrame; ++k)
        for (const POINT& c : FrameCells(style, k, data->Frames))
            pattern->SetPixel(c.x, c.y, clBlack);
    GdiFlush();
    CopyThroughPattern(data->WorkBitmap, RECT{0, 0, data->Width, data->Height}, data->DstImage->CanvasDC(),
                       FPattern.get());
}

TTECapabilities TFuseTransition::GetCapabilities(TTETransitionDevice* device)
{
    TTECapabilities caps = TTimedTransitionEffect::GetCapabilities(device) | tecFrameSkip | tecAlwaysWorkBitmap |
                           tecWorkBitmap | tecPixelLocal | tecThreadSafe;
    // An inline run draws straight into the source image.
    if (device && !device->UsingThread())
        caps |= tecDrawInSrc;
    return caps;
}

void TFuseTransition::LoadFromStrings(TStrings* list)
{
    TTimedTransitionEffect::LoadFromStrings(list);
    if (list->IndexOfName("Style") >= 0)
        SetStyle(StrToInt(list->Values("Style")));
}

void TFuseTransition::SaveToStrings(TStrings* list, bool onlyNonDefault)
{
    TTimedTransitionEffect::SaveToStrings(list, onlyNonDefault);
    if (!onlyNonDefault || FStyle != 1)
        list->SetValues("Style", IntToStr(FStyle));
}

void InitializeTeFuse()
{
    RegisterTransition(&TFuseTransition::ClassInfo);
}
