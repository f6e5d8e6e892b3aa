// The steps Save, Remote access, Live picture and Finish, and closing
// the wizard.
"use strict";

// ---- save

function renderSavePending() {
  var unsaved = unsavedNames();
  $("save-pending").textContent = unsaved.length > 0
    ? "Waiting to be saved: the " + unsaved.join(" and ") + " settings."
    : "No applied settings are waiting to be saved.";
}

function saveSettings() {
  var cam = W.cam;
  startRequest({
    name: "CommitSettings_",
    busy: "Saving the settings in the camera…",
    timeoutMs: 90000,
    closeText: "The settings are being saved in the camera; this can take up to 3 minutes, " +
               "the wait for the camera to answer again included. Closing now can leave them unsaved.",
    start: function () { FinderObj.CommitSettings_(cam.index); },
    done: awaitAnswer
  });
}

// After a save the camera may restart: it is read again until it answers.
function awaitAnswer() {
  var cam = W.cam;
  startRequest({
    name: "TryWireless_",
    busy: "Waiting for the camera to answer again…",
    timeoutMs: 90000,
    timeoutText: "The settings were sent, but the camera does not answer yet.",
    closeText: "The camera is saving the settings and may restart; the wizard waits up to 90 seconds " +
               "for it to answer again. Closing now does not stop the save, but you will not learn whether it worked.",
    start: function () { FinderObj.TryWireless_(cam.index); },
    done: function () {
      // The commit has no result of its own; what it sent is no longer
      // merely applied either way.
      W.unsaved = { address: false, wireless: false };
      W.saved = toInt(FinderObj.QueryResult()) === 1 ? "ok" : "noanswer";
      renderSavePending();
      renderNav();
      refreshControls();
      if (W.saved === "ok") {
        if (readInfo(awaitAnswer)) showMessage("The settings are saved and the camera answers.", "ok");
      } else {
        offerRetry("The settings were sent, but the camera does not answer yet. " +
                   "If it now uses the wireless network, unplug its network cable and search again.", awaitAnswer);
      }
    }
  });
}

// ---- remote access

// The bridge answers 0 both for off and for no answer at all; a quick read
// tells the two apart.
function readRemoteState() {
  var cam = W.cam;
  runSync("IsAlreadyEnableTessel_", "Asking the camera about remote access…", function () {
    var on = toInt(FinderObj.IsAlreadyEnableTessel_(cam.index)) !== 0;
    W.remoteSilent = !on && toText(FinderObj.GetAddress_(cam.index)) === "";
    W.remoteOn = W.remoteSilent ? null : on;
    renderRemote();
    refreshControls();
    if (W.remoteSilent) noAnswer("The camera did not say whether remote access is on.", readRemoteState);
  });
}

function renderRemote() {
  $("remote-state").textContent = W.remoteOn === null ? (W.remoteSilent ? "No answer" : "Not read yet")
    : W.remoteOn ? "On" : "Off";
  $("remote-url").textContent = W.remoteUrl;
}

function remoteAccess() {
  var cam = W.cam;
  if (W.remoteOn) {
    waitRemote();
    return;
  }
  startRequest({
    name: "EnableTessel_",
    busy: "Turning on remote access…",
    timeoutMs: 30000,
    start: function () { FinderObj.EnableTessel_(cam.index); },
    done: function () {
      if (toInt(FinderObj.QueryResult()) !== 1) {
        sendFailed("The camera did not turn on remote access.", "Remote access could not be turned on.", remoteAccess);
        return;
      }
      W.remoteOn = true;
      renderRemote();
      waitRemote();
    }
  });
}

function waitRemote() {
  var cam = W.cam;
  startRequest({
    name: "IsTesselWorkable_",
    busy: "Waiting until remote access works… This can take up to 3 minutes.",
    timeoutMs: 180000,
    timeoutText: "Remote access did not start working in time. Try again later.",
    start: function () { FinderObj.IsTesselWorkable_(cam.index); },
    done: function () {
      if (toInt(FinderObj.QueryResult()) !== 1) {
        offerRetry("Remote access does not work yet. Check that the camera can reach the internet, then try again.",
                   waitRemote);
        return;
      }
      startRequest({
        name: "GetTavvelURL_",
        busy: "Reading the remote address…",
        timeoutMs: 30000,
        start: function () { FinderObj.GetTavvelURL_(cam.index); },
        done: function () {
          if (toInt(FinderObj.QueryResult()) !== 1) {
            noAnswer("The remote address could not be read from the camera.", waitRemote);
            return;
          }
          W.remoteUrl = toText(FinderObj.GetURL());
          renderRemote();
          renderNav();
          refreshControls();
          showMessage("Remote access works.", "ok");
        }
      });
    }
  });
}

// ---- live picture: the program draws it over the page while this step shows

function startLive() {
  var cam = W.cam;
  if (!cam || !hasBridge()) return;
  document.body.classList.add("live-step");
  var port = W.info ? W.info.port : 80;
  try {
    FinderObj.LiveView_IP_Port_ID_Password_AuthType_(cam.index, cam.ip, port, W.user, W.password, LIVE_AUTH_BASIC);
    W.live = true;
  } catch (e) {
    bridgeFailure("LiveView_IP_Port_ID_Password_AuthType_", e);
    return;
  }
  watchLive(now());
}

// The background stands in for the picture until the first one; one that
// does not come is said, and the saying goes once it comes.
function watchLive(started) {
  W.liveWatch = setTimeout(function () {
    if (!W.live) return;
    var shown = false;
    try { shown = toInt(FinderObj.bLivePicture) === 1; } catch (e) { shown = false; }
    if (shown) {
      if (W.messageId === W.liveMessage) clearMessage();
      return;
    }
    if (now() - started >= LIVE_WAIT_MS && W.liveMessage < 0 && !W.busy) {
      showMessage("No picture has come from the camera in " + LIVE_WAIT_MS / 1000 + " seconds. " + LIVE_HINT,
                  "error");
      W.liveMessage = W.messageId;
    }
    watchLive(started);
  }, LIVE_CHECK_MS);
}

function stopLive() {
  document.body.classList.remove("live-step");
  clearTimeout(W.liveWatch);
  W.liveMessage = -1;
  if (!W.live) return;
  W.live = false;
  try { FinderObj.StopLiveView(); } catch (e) { bridgeFailure("StopLiveView", e); }
}

// ---- finish

function appliedText(what, unsaved, typed) {
  var t;
  if (what === "") t = "Not changed";
  else if (unsaved) t = what + " (not saved)";
  else t = what + (W.saved === "ok" ? " (saved)" : " (sent for saving, not confirmed)");
  return typed ? t + "; typed changes not applied" : t;
}

// Says what was and was not applied and saved rather than claiming success.
function finishSummary() {
  var typed = typedForms().map(function (f) { return FORM_TITLES[f]; });
  var head = typed.length === 0 ? "" : "The changes typed on the " + typed.join(" and ") +
    (typed.length > 1 ? " pages" : " page") + " were not applied, so the camera does not have them. ";
  var unsaved = unsavedNames();
  if (unsaved.length > 0)
    return head + "Not everything is saved: the " + unsaved.join(" and ") + " settings were sent to the camera " +
           "but not saved, so the camera loses them when it restarts. Go to Save to keep them.";
  if (W.saved === "ok")
    return head + (head ? "The applied settings are saved." : "The camera is set up and its settings are saved.");
  if (W.saved === "noanswer")
    return head + "The settings were sent for saving, but the camera did not answer afterwards. " +
           "Search for it again to check them.";
  if (W.applied.password) return head + "The new password is in use. No other settings were changed.";
  return head + (head ? "No other settings were changed." : "No settings were changed: the camera keeps the ones it had.");
}

function renderFinish() {
  var remote = W.remoteUrl !== "";
  var summary = $("finish-summary");
  summary.textContent = finishSummary();
  summary.className = unsavedNames().length + typedForms().length > 0 ? "warn" : "";
  $("finish-address").textContent = appliedText(W.applied.address, W.unsaved.address, changed("address"));
  $("finish-password").textContent = (W.applied.password ? "Changed" : "Not changed") +
    (changed("password") ? "; typed changes not applied" : "");
  $("finish-wireless").textContent = appliedText(W.applied.wireless, W.unsaved.wireless, changed("wireless"));
  $("finish-name").textContent = W.cam ? cameraLabel(W.cam) : "";
  $("finish-web").textContent = W.address !== "" ? W.address : NO_ADDRESS;
  $("finish-remote").textContent = remote ? W.remoteUrl : "Not turned on";
  $("open-web-btn").hidden = $("copy-web-btn").hidden = W.address === "";
  $("open-remote-btn").hidden = $("copy-remote-btn").hidden = !remote;
  $("bookmark-btn").hidden = W.address === "" && !remote;
}

// The desktop services answer nothing: the page says what it asked for.
function desktopService(name, fn, done) {
  if (W.busy) return;
  if (!hasBridge()) {
    showMessage("This page works only inside the camera wizard program.", "error");
    return;
  }
  try {
    fn();
  } catch (e) {
    bridgeFailure(name, e);
    return;
  }
  showMessage(done, "ok");
}

function openPage(address) {
  desktopService("OpenBrowser_", function () { FinderObj.OpenBrowser_(address); },
                 "The page opens in your web browser.");
}

function copyText(text) {
  desktopService("ClipboardData_", function () { FinderObj.ClipboardData_(text); },
                 "Copied to the clipboard: " + text);
}

// A bookmark for the remote address names itself after the camera's remote
// identifier; without remote access it holds the local address and the MAC.
function saveBookmark() {
  var cam = W.cam;
  if (!cam) return;
  var cloud = W.remoteUrl !== "";
  desktopService(cloud ? "CreateShortcut_URL_" : "CreateNonCloudShortcut_Address_MAC_", function () {
    if (cloud) FinderObj.CreateShortcut_URL_(W.model, W.remoteUrl);
    else FinderObj.CreateNonCloudShortcut_Address_MAC_(W.model, W.address, cam.mac);
  }, "A bookmark for the camera is saved in your desktop folder. " +
     "Most Linux desktops do not open it on a double-click.");
}

function openManual() {
  desktopService("OpenPDF_", function () { FinderObj.OpenPDF_(MANUAL); },
                 "The quick-start guide opens in your PDF viewer.");
}

// Closing asks first about what it would lose: a change that is being sent,
// typed changes, then applied settings that wait for a save. True when a
// question is up instead.
function askBeforeClose() {
  if (W.busy) {
    if (!W.request || !W.request.closeText) return false;
    showMessage(W.request.closeText, "error", [
      { label: "Keep waiting", primary: true, cancel: true, anyTime: true, fn: clearMessage },
      { label: "Close anyway", anyTime: true, fn: function () { closeWizard(true); } }
    ]);
    W.busyQuestion = W.messageId;
    return true;
  }
  var typed = typedForms();
  if (typed.length > 0) {
    askClose(typed[0]);
    return true;
  }
  var unsaved = unsavedNames();
  if (unsaved.length === 0) return false;
  showMessage("The " + unsaved.join(" and ") + " settings were sent to the camera but not saved. " +
              "The camera loses them when it restarts.", "error", [
    { label: "Go to Save", primary: true, fn: function () { goTo("save"); } },
    { label: "Close anyway", fn: function () { closeWizard(true); } },
    { label: "Cancel", cancel: true, fn: stayHere }
  ]);
  return true;
}

// force closes without asking.
function closeWizard(force) {
  if (force !== true && askBeforeClose()) return;
  stopLive();
  if (hasBridge()) {
    try { FinderObj.CloseWizard(); } catch (e) { bridgeFailure("CloseWizard", e); }
  } else {
    window.close();
  }
}

// The program asks this when the window's close button is pressed; unless
// it answers true (a question is up), the program closes.
function AskBeforeClosing() {
  return askBeforeClose();
}

function askClose(form) {
  showMessage("The changes typed on the " + FORM_TITLES[form] + " page are not applied yet. " +
              "Closing loses them.", "error", [
    { label: "Apply and close", primary: true, fn: function () {
      if (W.step !== form) goTo(form, true);
      applyForm(form, function () { closeWizard(false); });
    } },
    { label: "Discard and close", fn: function () { restore(form, W.base[form]); closeWizard(false); } },
    { label: "Stay here", cancel: true, fn: stayHere }
  ]);
}
