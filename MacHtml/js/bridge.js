// The native bridge FinderObj: starting requests, polling for their end,
// and the functions it calls back.
"use strict";

function hasBridge() {
  return typeof window.FinderObj !== "undefined" && window.FinderObj !== null;
}

function bridgeFailure(name, e) {
  console.error("[wizard] " + name + " failed: " + e);
  showMessage("The wizard program could not carry out this request. Try again, or restart the wizard.", "error");
}

// May a new request start now?
function ready() {
  if (W.busy) return false;
  if (!hasBridge()) {
    showMessage("This page works only inside the camera wizard program.", "error");
    return false;
  }
  if (W.stale) {
    var done = false;
    try { done = toInt(FinderObj.CheckThreadComplete()) === 1; } catch (e) { done = false; }
    if (!done) {
      showMessage(W.staleLong ? STALE_GIVE_UP : "The wizard is still waiting for the camera to answer an earlier request. " +
                  "You can try again as soon as it answers; this page says when.", "error");
      W.staleMessage = W.messageId;
      return false;
    }
    W.stale = false;
  }
  return true;
}

// A slow request: start() hands it to a native worker, and done() runs once
// the completion flag is up. Polling ends after timeoutMs at the latest.
// closeText, for requests that send settings, says what closing the wizard
// meanwhile would cut short; closing during the others loses nothing.
function startRequest(req) {
  if (!ready()) return false;
  setBusy(req.busy);
  W.request = req;
  // A request that follows one the user was asking to close asks again.
  if (W.closePending && req.closeText) askBeforeClose();
  try {
    req.start();
  } catch (e) {
    requestEnded();
    bridgeFailure(req.name, e);
    return false;
  }
  var deadline = now() + req.timeoutMs;
  var polls = 0;
  var maxPolls = Math.ceil(req.timeoutMs / POLL_MS) + 1;
  function poll() {
    var complete;
    try {
      complete = toInt(FinderObj.CheckThreadComplete()) === 1;
    } catch (e) {
      requestEnded();
      bridgeFailure("CheckThreadComplete", e);
      return;
    }
    if (complete) {
      W.closePending = requestEnded();
      var focused = document.activeElement;
      try { req.done(); } catch (e) { bridgeFailure(req.name, e); }
      W.closePending = false;
      afterRequest(focused);
      return;
    }
    polls++;
    if (polls >= maxPolls || now() >= deadline) {
      requestEnded();
      console.error("[wizard] " + req.name + " did not complete in time");
      timedOut(req.timeoutText || "The camera did not answer in time.");
      focusStep();
      return;
    }
    setTimeout(poll, POLL_MS);
  }
  setTimeout(poll, POLL_MS);
  return true;
}

// A question about closing that the request outlived is void: its outcome
// takes the message's place. True when such a question was up.
function requestEnded() {
  W.request = null;
  endBusy();
  if (W.messageId !== W.busyQuestion) return false;
  clearMessage();
  return true;
}

// The bridge cannot cancel a request that ran past its time: the page says
// so and watches for its end, after which the user may try again; one that
// does not end within ten minutes is watched slowly, and the user told that
// only starting the wizard again helps.
function timedOut(text) {
  W.stale = true;
  W.staleLong = false;
  showMessage(text + " The wizard is still waiting for it; you can try again as soon as it answers.", "error");
  W.staleMessage = W.messageId;
  var polls = 0;
  function watch() {
    if (!W.stale) return;
    var done = false;
    try { done = toInt(FinderObj.CheckThreadComplete()) === 1; } catch (e) { done = false; }
    if (done) {
      W.stale = false;
      W.staleLong = false;
      if (W.messageId === W.staleMessage && !W.busy) showMessage("The camera has answered now. You can try again.", "");
      return;
    }
    if (++polls === STALE_POLLS) {
      W.staleLong = true;
      if (W.messageId === W.staleMessage && !W.busy) {
        showMessage(STALE_GIVE_UP, "error");
        W.staleMessage = W.messageId;
      }
    }
    setTimeout(watch, polls < STALE_POLLS ? STALE_POLL_MS : STALE_SLOW_POLL_MS);
  }
  setTimeout(watch, STALE_POLL_MS);
}

// ---- a camera that does not answer

var NO_ANSWER = "The camera did not answer; check that it is on and connected, then try again.";

// An error that trying again may mend offers to.
function offerRetry(text, retry) {
  showMessage(text, "error", [{ label: "Try again", primary: true, fn: retry }]);
}

function noAnswer(head, retry) {
  offerRetry(head + " " + NO_ANSWER, retry);
}

// A send the camera did not take: a quick read tells a camera that refused
// from one that did not answer at all, which the bridge reports alike.
function sendFailed(refusedText, head, retry) {
  var cam = W.cam;
  runSync("GetAddress_", "Checking whether the camera answers…", function () {
    if (toText(FinderObj.GetAddress_(cam.index)) !== "") showMessage(refusedText, "error");
    else noAnswer(head, retry);
  });
}

// A quick request that blocks inside the bridge: show the indicator first so
// that it is on screen while the call runs.
function runSync(name, busyText, fn) {
  if (!ready()) return false;
  setBusy(busyText);
  setTimeout(function () {
    endBusy();
    var focused = document.activeElement;
    try { fn(); } catch (e) { bridgeFailure(name, e); }
    afterRequest(focused);
  }, 40);
  return true;
}

// ---- functions the native side calls; every argument arrives as a string

function AddCameraList(mac, index) {
  if (!W.searching || W.cameras.length >= MAX_CAMERAS) return;
  var i = toInt(index);
  if (i < 0) return;
  for (var k = 0; k < W.cameras.length; k++)
    if (W.cameras[k].index === i) return;
  W.cameras.push({ mac: toText(mac), index: i, name: "", ip: "" });
}

function CompleteSearch() {
  if (W.searching) searchFinished();
}

// reservedBit0 is bit 0 of the camera's Reserved byte, which this page does
// not use; whether the camera speaks HTTPS comes with GetAddress_ only.
function GatherCameraInfo(dhcp, ip, mask, gateway, dns1, dns2, port, name, reservedBit0) {
  W.lastInfo = {
    dhcp: toInt(dhcp) === 1, ip: toText(ip), mask: toText(mask), gateway: toText(gateway),
    dns1: toText(dns1), dns2: toText(dns2), port: toInt(port), name: toText(name)
  };
}

function GatherOptionCmd(survey, commit, queryNetwork) {
  W.options = { survey: toInt(survey) === 1, commit: toInt(commit) === 1,
                queryNetwork: toInt(queryNetwork) === 1 };
}

function bitsToValues(args) {
  var v = [];
  for (var k = 0; k < args.length; k++) if (toInt(args[k]) === 1) v.push(k);
  return v;
}

function GatherWirelessCapMode(b0, b1) {
  if (W.capBuild) W.capBuild.modes = bitsToValues([b0, b1]);
}

function GatherWirelessCapChannel(channel) {
  var c = toInt(channel);
  if (W.capBuild && c >= 0 && c <= 31 && W.capBuild.channels.indexOf(c) < 0) W.capBuild.channels.push(c);
}

function GatherWirelessCapAuth(b0, b1, b2, b3, b4, b5) {
  if (W.capBuild) W.capBuild.auth = bitsToValues([b0, b1, b2, b3, b4, b5]);
}

function GatherWirelessCapEncryption(b0, b1, b2, b3, b4) {
  if (W.capBuild) W.capBuild.enc = bitsToValues([b0, b1, b2, b3, b4]);
}

function GatherWirelessInfo(enable, mode, ssid, channel, auth, enc, wepLen, wepFormat, wepDefault, wepKey, wpaKey) {
  W.wirelessRaw = {
    enable: toInt(enable), mode: toInt(mode), ssid: toText(ssid), channel: toInt(channel),
    auth: toInt(auth), enc: toInt(enc), wepLen: toInt(wepLen), wepFormat: toInt(wepFormat),
    wepDefault: toInt(wepDefault), wepKey: toText(wepKey), wpaKey: toText(wpaKey)
  };
}

function GatherSiteSurvey(ssid, signal, mode, enc, auth, channel) {
  if (!W.surveyCollecting || W.surveyRows.length >= MAX_STATIONS) return;
  W.surveyRows.push({ ssid: toText(ssid), signal: toInt(signal), mode: toInt(mode),
                      enc: toInt(enc), auth: toInt(auth), channel: toInt(channel) });
}

function CompleteSiteSurvey() {
  if (W.surveyCollecting) surveyFinished();
}
