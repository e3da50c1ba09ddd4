/* NimbStub.exe's message boxes on a real (virtual) display: each test starts the program,
 * finds its box, reads the text, the buttons and the icon kind, presses OK and checks the
 * exit code. The help box is also saved as a PNG picture in the build tree. */
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>
#include "process-runner.h"
#include "stub-help-text.h"
#include "NimbStubVersion.h"
#include "wait-box.h"
#include "win-text.h"

namespace {

/** A screen area as 32-bit BGRX pixels, top row first. */
struct Pixels
{
    int cx = 0, cy = 0;
    std::vector<uint32_t> a;
    uint32_t At(int x, int y) const { return a[static_cast<size_t>(y) * cx + x] & 0xFFFFFF; }
};

Pixels CaptureDc(HDC hdcSrc, int x, int y, int cx, int cy)
{
    Pixels P;
    P.cx = cx;
    P.cy = cy;
    P.a.resize(static_cast<size_t>(cx) * cy);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = cx;
    bmi.bmiHeader.biHeight = -cy;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    void *pvBits = nullptr;
    HDC hdcMem = CreateCompatibleDC(hdcSrc);
    HBITMAP hbm = CreateDIBSection(hdcMem, &bmi, DIB_RGB_COLORS, &pvBits, nullptr, 0);
    HGDIOBJ hOld = SelectObject(hdcMem, hbm);
    BitBlt(hdcMem, 0, 0, cx, cy, hdcSrc, x, y, SRCCOPY);
    GdiFlush();
    memcpy(P.a.data(), pvBits, P.a.size() * 4);
    SelectObject(hdcMem, hOld);
    DeleteObject(hbm);
    DeleteDC(hdcMem);
    return P;
}

Pixels CaptureScreen(const RECT &rc)
{
    HDC hdc = GetDC(nullptr);
    Pixels P = CaptureDc(hdc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    ReleaseDC(nullptr, hdc);
    return P;
}

/** A system icon drawn at its normal size on the given background colour. */
Pixels DrawSystemIcon(LPCWSTR pwszId, int cx, int cy, uint32_t uBackground)
{
    HDC hdcScreen = GetDC(nullptr);
    HDC hdcMem = CreateCompatibleDC(hdcScreen);
    HBITMAP hbm = CreateCompatibleBitmap(hdcScreen, cx, cy);
    HGDIOBJ hOld = SelectObject(hdcMem, hbm);
    HBRUSH hbr = CreateSolidBrush(RGB(uBackground >> 16, (uBackground >> 8) & 0xFF, uBackground & 0xFF));
    RECT rcAll = { 0, 0, cx, cy };
    FillRect(hdcMem, &rcAll, hbr);
    DrawIconEx(hdcMem, 0, 0, LoadIconW(nullptr, pwszId), 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    Pixels P = CaptureDc(hdcMem, 0, 0, cx, cy);
    SelectObject(hdcMem, hOld);
    DeleteObject(hbr);
    DeleteObject(hbm);
    DeleteDC(hdcMem);
    ReleaseDC(nullptr, hdcScreen);
    return P;
}

/** Pixels that differ in any colour channel by more than a little. */
size_t CountDifferences(const Pixels &A, const Pixels &B)
{
    size_t c = 0;
    for (int y = 0; y < A.cy; y++)
        for (int x = 0; x < A.cx; x++)
        {
            uint32_t const a = A.At(x, y), b = B.At(x, y);
            for (int iShift = 0; iShift < 24; iShift += 8)
                if (abs(static_cast<int>((a >> iShift) & 0xFF) - static_cast<int>((b >> iShift) & 0xFF)) > 8)
                {
                    c++;
                    break;
                }
        }
    return c;
}

/* A PNG file of the pixels: uncompressed deflate blocks, enough for a test picture. */
uint32_t Crc32(const uint8_t *pb, size_t cb, uint32_t uCrc = 0)
{
    uCrc = ~uCrc;
    for (size_t i = 0; i < cb; i++)
    {
        uCrc ^= pb[i];
        for (int k = 0; k < 8; k++)
            uCrc = (uCrc >> 1) ^ (0xEDB88320u & (0u - (uCrc & 1)));
    }
    return ~uCrc;
}

void PutBe32(std::vector<uint8_t> &ab, uint32_t u)
{
    for (int iShift = 24; iShift >= 0; iShift -= 8)
        ab.push_back(static_cast<uint8_t>(u >> iShift));
}

void PutChunk(std::vector<uint8_t> &abFile, const char *pszType, const std::vector<uint8_t> &abData)
{
    PutBe32(abFile, static_cast<uint32_t>(abData.size()));
    std::vector<uint8_t> abTyped(pszType, pszType + 4);
    abTyped.insert(abTyped.end(), abData.begin(), abData.end());
    abFile.insert(abFile.end(), abTyped.begin(), abTyped.end());
    PutBe32(abFile, Crc32(abTyped.data(), abTyped.size()));
}

bool WritePng(const std::wstring &wstrPath, const Pixels &P)
{
    std::vector<uint8_t> abRaw;
    for (int y = 0; y < P.cy; y++)
    {
        abRaw.push_back(0);     /* no filter */
        for (int x = 0; x < P.cx; x++)
        {
            uint32_t const u = P.At(x, y);
            abRaw.push_back(static_cast<uint8_t>(u >> 16));
            abRaw.push_back(static_cast<uint8_t>(u >> 8));
            abRaw.push_back(static_cast<uint8_t>(u));
        }
    }
    std::vector<uint8_t> abZ = { 0x78, 0x01 };
    for (size_t off = 0; off < abRaw.size() || off == 0; )
    {
        size_t const cb = std::min<size_t>(65535, abRaw.size() - off);
        bool const fLast = off + cb == abRaw.size();
        abZ.push_back(fLast ? 1 : 0);
        abZ.push_back(static_cast<uint8_t>(cb));
        abZ.push_back(static_cast<uint8_t>(cb >> 8));
        abZ.push_back(static_cast<uint8_t>(~cb));
        abZ.push_back(static_cast<uint8_t>(~cb >> 8));
        abZ.insert(abZ.end(), abRaw.begin() + off, abRaw.begin() + off + cb);
        off += cb;
        if (fLast)
            break;
    }
    uint32_t uA = 1, uB = 0;
    for (uint8_t b : abRaw)
    {
        uA = (uA + b) % 65521;
        uB = (uB + uA) % 65521;
    }
    PutBe32(abZ, (uB << 16) | uA);

    std::vector<uint8_t> abFile = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    std::vector<uint8_t> abHdr;
    PutBe32(abHdr, static_cast<uint32_t>(P.cx));
    PutBe32(abHdr, static_cast<uint32_t>(P.cy));
    abHdr.insert(abHdr.end(), { 8, 2, 0, 0, 0 });   /* 8-bit RGB */
    PutChunk(abFile, "IHDR", abHdr);
    PutChunk(abFile, "IDAT", abZ);
    PutChunk(abFile, "IEND", {});
    FILE *pFile = _wfopen(wstrPath.c_str(), L"wb");
    if (!pFile)
        return false;
    bool const fOk = fwrite(abFile.data(), 1, abFile.size(), pFile) == abFile.size();
    return fclose(pFile) == 0 && fOk;
}

/** What a box showed. */
struct BoxSeen
{
    bool         fFound = false;
    std::wstring wstrText;
    std::vector<std::wstring> awstrButtons;
    std::string  strIcon;           /**< "error", "information" or "unknown (...)" */
};

std::wstring ClassName(HWND hwnd)
{
    wchar_t wsz[64];
    return GetClassNameW(hwnd, wsz, 64) ? wsz : L"";
}

/** Tells the error icon from the information icon by the pixels on screen: the box's icon
 *  control compared with each system icon drawn on the box's background. */
std::string ClassifyIcon(HWND hwndBox)
{
    HWND hwndIcon = nullptr;
    for (HWND hwnd = GetWindow(hwndBox, GW_CHILD); hwnd; hwnd = GetWindow(hwnd, GW_HWNDNEXT))
        if (ClassName(hwnd) == L"Static" && (GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            hwndIcon = hwnd;
    if (!hwndIcon)
        return "unknown (no icon control)";
    RECT rc;
    GetWindowRect(hwndIcon, &rc);
    int const cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    rc.right = rc.left + cx;
    rc.bottom = rc.top + cy;
    Pixels const Shown = CaptureScreen(rc);
    RECT rcBox;
    GetWindowRect(hwndBox, &rcBox);
    POINT pt = { 0, 0 };
    ClientToScreen(hwndBox, &pt);
    RECT rcBg = { pt.x + 2, pt.y + 2, pt.x + 3, pt.y + 3 };
    uint32_t const uBackground = CaptureScreen(rcBg).At(0, 0);

    size_t const cError = CountDifferences(Shown, DrawSystemIcon(IDI_ERROR, cx, cy, uBackground));
    size_t const cInfo = CountDifferences(Shown, DrawSystemIcon(IDI_INFORMATION, cx, cy, uBackground));
    size_t const cAllowed = static_cast<size_t>(cx * cy / 50);
    if (cError <= cAllowed && cInfo > 4 * cAllowed)
        return "error";
    if (cInfo <= cAllowed && cError > 4 * cAllowed)
        return "information";
    return "unknown (" + std::to_string(cError) + " pixels differ from the error icon, "
         + std::to_string(cInfo) + " from the information icon)";
}

/** Runs NimbStub.exe with @p wstrArgs; if a box titled "Nimbrel Installer" appears,
 *  records it (and saves it as a picture to @p pszPicture), then presses OK. */
ProcessResult RunStub(const std::wstring &wstrArgs, BoxSeen *pBox, const char *pszPicture = nullptr)
{
    ProcessResult R;
    std::atomic<bool> fDone{false};
    std::thread Runner([&] {
        ProcessOptions Opts;
        Opts.timeoutMs = 30000;
        R = RunProcess(BuildPath("bin/NimbStub.exe"), L"NimbStub.exe " + wstrArgs, Opts);
        fDone = true;
    });

    HWND const hwndBox = WaitForVisibleBox(L"Nimbrel Installer", fDone, 25);
    if (hwndBox)
    {
        pBox->fFound = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(700));  /* let it paint */
        HWND hwndText = GetDlgItem(hwndBox, 0xFFFF);
        if (hwndText)
            pBox->wstrText = WindowText(hwndText);
        HWND hwndOk = nullptr;
        for (HWND hwnd = GetWindow(hwndBox, GW_CHILD); hwnd; hwnd = GetWindow(hwnd, GW_HWNDNEXT))
            if (ClassName(hwnd) == L"Button" && IsWindowVisible(hwnd))
            {
                pBox->awstrButtons.push_back(WindowText(hwnd));
                hwndOk = hwnd;
            }
        pBox->strIcon = ClassifyIcon(hwndBox);
        if (pszPicture)
        {
            RECT rc;
            GetWindowRect(hwndBox, &rc);
            CreateDirectoryW(BuildPath("screenshots").c_str(), nullptr);
            EXPECT_TRUE(WritePng(BuildPath(pszPicture), CaptureScreen(rc)));
        }
        if (hwndOk)
            SendMessageW(hwndOk, BM_CLICK, 0, 0);
        else
            PostMessageW(hwndBox, WM_CLOSE, 0, 0);
    }
    Runner.join();
    return R;
}

const std::string g_strVersion = NIMB_VERSION_TEXT;
const std::wstring g_wstrReferToHelp = L"\nPlease refer to the command line help by specifying \"-?\"\nto get more information.";

struct Case
{
    std::wstring wstrArgs;
    uint32_t     uExit;
    std::wstring wstrText;
    const char  *pszIcon;
};

void CheckBox(const Case &C, const char *pszPicture = nullptr)
{
    BoxSeen Box;
    ProcessResult const R = RunStub(C.wstrArgs, &Box, pszPicture);
    std::string const strArgs = Narrow(C.wstrArgs);
    ASSERT_TRUE(R.started) << strArgs;
    ASSERT_TRUE(Box.fFound) << strArgs;
    EXPECT_EQ(Box.wstrText, C.wstrText) << strArgs;
    ASSERT_EQ(Box.awstrButtons.size(), 1u) << strArgs;
    EXPECT_EQ(Box.awstrButtons[0], L"OK") << strArgs;
    EXPECT_EQ(Box.strIcon, C.pszIcon) << strArgs;
    EXPECT_FALSE(R.timedOut) << strArgs;
    EXPECT_EQ(R.exitCode, C.uExit) << strArgs;
    EXPECT_EQ(R.out + R.err, "") << strArgs;
}

TEST(StubBoxes, HelpBox)
{
    CheckBox({ L"--help", 0, Widen(ExpectedHelpText("NimbStub.exe", g_strVersion)), "information" },
             "screenshots/help-box.png");
}

TEST(StubBoxes, VersionUnknownOptionAndUsageErrorBoxes)
{
    for (const Case &C : std::vector<Case>{
             { L"/version", 0, Widen("Version: " + g_strVersion), "information" },
             { L"--bogus --silent", 2, L"Unknown option \"--bogus\"" + g_wstrReferToHelp, "error" },
             { L"stray", 2, L"Parameter parsing error: INF_OPTION_PLAIN_ARGUMENT" + g_wstrReferToHelp, "error" },
             { L"--msi-prop \"A B\" c", 2, L"The first argument to --msi-prop must not contain spaces: A B", "error" },
             { L"--msi-prop A", 2, L"--msi-prop takes two arguments, the 2nd is missing", "error" },
             { L"--msi-prop A \x00e9\x00e8 --bogus\x2013\x00fc", 2, L"Unknown option \"--bogus\x2013\x00fc\"" + g_wstrReferToHelp, "error" },
         })
        CheckBox(C);
}

TEST(StubBoxes, AfterSilentTheSameOptionGoesToStandardError)
{
    BoxSeen Box;
    ProcessResult const R = RunStub(L"--silent --bogus", &Box);
    EXPECT_FALSE(Box.fFound);
    EXPECT_EQ(R.exitCode, 2u);
    EXPECT_EQ(R.err, "NimbStub.exe: error: Unknown option: '--bogus'\r\n");
}

} /* namespace */
