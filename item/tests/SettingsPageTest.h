#pragma once

// A settings page shown as a modal dialog over a real item, driven from a helper thread.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "DialogDriver.h"
#include "ItemHarness.h"
#include "OptionPages.h"
#include "PageDriver.h"

class SettingsPageTest : public ::testing::Test {
protected:
    // dialogId and proc show the page; the page is recognised by its control firstControl.
    SettingsPageTest(int dialogId, DLGPROC proc, int firstControl)
        : dialogId(dialogId), proc(proc), firstControl(firstControl) {}

    void SetUp() override { CreateOptionPages(GetModuleHandleW(nullptr), fixture.item); }
    void TearDown() override { DestroyOptionPages(); }

    // As after installing: no settings key when the library (and so the page) is loaded.
    void StartWithoutSettings() {
        DestroyOptionPages();
        page_driver::DeleteSettings();
        CreateOptionPages(GetModuleHandleW(nullptr), fixture.item);
    }

    // Runs `drive` on a helper thread with the page's window; it must close the dialog.
    INT_PTR Run(const std::function<void(HWND)>& drive) {
        DWORD thread = GetCurrentThreadId();
        dialog_driver::Helper helper([&] {
            HWND page = page_driver::WaitForPage(thread, firstControl);
            if (page)
                drive(page);
        });
        return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialogId),
                               fixture.shell.window, proc, 0);
    }

    harness::Fixture<> fixture;

private:
    int dialogId;
    DLGPROC proc;
    int firstControl;
};
