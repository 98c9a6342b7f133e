#include "exchange/UtilsUnit.h"
#include "platform/Browser.h"

void OpenInBrowser(const ByteString& URL, bool FillWorkArea) {
    TBrowser browser;
    if (FillWorkArea) {
        browser.SetTop(TBrowser::WorkArea().top());
        browser.SetLeft(TBrowser::WorkArea().left());
        browser.SetWidth(TBrowser::WorkArea().width());
        browser.SetHeight(TBrowser::WorkArea().height());
    }
    browser.SetVisible(true);
    if (!URL.empty()) browser.Navigate(URL);
    browser.Release();
}
