// The steps Find camera and Log in.
"use strict";

// ---- search

// Applied settings waiting for a save belong to the chosen camera; a new
// search or another camera forgets them, so the user is asked first.
function confirmDrop(what, anyway, proceed) {
  var unsaved = unsavedNames();
  if (unsaved.length === 0) {
    proceed();
    return;
  }
  showMessage("The " + unsaved.join(" and ") + " settings were sent to the camera but not saved. " +
              what + " forgets them, and the camera loses them when it restarts.", "error", [
    { label: "Go to Save", primary: true, fn: function () { goTo("save"); } },
    { label: anyway, fn: proceed },
    { label: "Cancel", cancel: true, fn: stayHere }
  ]);
}

function search() {
  var model = $("model-input").value.trim();
  if (model === "") {
    showMessage("Enter the model of the camera to look for.", "error");
    return;
  }
  if (W.busy) return;
  confirmDrop("A new search", "Search anyway", function () { startSearch(model); });
}

function startSearch(model) {
  if (!ready()) return;
  clearMessage();
  W.model = model;
  updateIcon();
  W.cameras = [];
  selectCamera(null);
  renderCameraList();
  W.searching = true;
  setBusy("Searching for cameras of model " + model + "…");
  try {
    FinderObj.SearchCamera_(model);
  } catch (e) {
    W.searching = false;
    endBusy();
    bridgeFailure("SearchCamera_", e);
    return;
  }
  if (W.searching) W.searchTimer = setTimeout(searchTimedOut, 30000);
}

function searchTimedOut() {
  if (!W.searching) return;
  W.searching = false;
  endBusy();
  timedOut("The search did not finish.");
  if (W.step === "search") focusStep();
}

function searchFinished() {
  W.searching = false;
  clearTimeout(W.searchTimer);
  endBusy();
  if (W.cameras.length === 0) {
    renderCameraList();
    logSearch();
    showMessage("No camera of model " + W.model + " was found.\n" +
                "Check that the camera is powered and connected to this network, then search again.", "error");
    if (W.step === "search") focusStep();
    return;
  }
  readCameraDetails(0);
}

// scripts/demo waits for this line before it takes its screenshot.
function logSearch() {
  console.log("[wizard] search finished: " + W.cameras.length + " camera(s) of model " + W.model);
}

// Names and addresses for the list, one camera per step so that the
// indicator can tell how far it is.
function readCameraDetails(k) {
  if (k >= W.cameras.length) {
    renderCameraList();
    logSearch();
    if (W.step === "search") focusStep();
    return;
  }
  var cam = W.cameras[k];
  runSync("GetCameraInfo_", "Reading camera " + (k + 1) + " of " + W.cameras.length + "…", function () {
    W.lastInfo = null;
    if (toInt(FinderObj.GetCameraInfo_(cam.index)) === 1 && W.lastInfo) {
      cam.name = W.lastInfo.name;
      cam.ip = W.lastInfo.ip;
    }
    readCameraDetails(k + 1);
  });
}

function renderCameraList() {
  var list = $("camera-list");
  clear(list);
  $("camera-list-box").hidden = W.cameras.length === 0;
  var n = W.cameras.length;
  $("camera-count").textContent = n === 1
    ? "One camera of model " + W.model + " was found. Choose it to go on."
    : n + " cameras of model " + W.model + " were found. Choose the one to set up.";
  W.cameras.forEach(function (cam) {
    var li = el("li");
    var b = el("button");
    b.type = "button";
    b.className = "camera-item";
    b.setAttribute("data-index", String(cam.index));
    b.appendChild(el("span", "cam-name", cameraLabel(cam)));
    b.title = cameraLabel(cam);
    b.appendChild(el("span", "cam-detail", (cam.ip ? cam.ip + "  ·  " : "") + formatMac(cam.mac)));
    if (cam === W.cam) {
      b.classList.add("chosen");
      b.setAttribute("aria-current", "true");
      b.appendChild(el("span", "cam-chosen", "Chosen"));
    }
    b.addEventListener("click", function () { chooseCamera(cam); });
    li.appendChild(b);
    list.appendChild(li);
  });
  var twins = $("camera-twins");
  twins.hidden = !W.cameras.some(function (cam, k) {
    return W.cameras.slice(k + 1).some(function (other) { return cameraLabel(other) === cameraLabel(cam); });
  });
  twins.textContent = CAMERA_TWINS_HINT;
}

// The chosen camera again keeps all that was done with it.
function chooseCamera(cam) {
  if (W.busy) return;
  if (cam === W.cam) {
    goTo("login");
    return;
  }
  confirmDrop("Choosing another camera", "Choose it anyway", function () {
    selectCamera(cam);
    goTo("login");
  });
}

function selectCamera(cam) {
  W.cam = cam;
  W.loggedIn = false;
  W.loginRefusals = 0;
  W.password = "";
  W.info = null;
  W.address = "";
  W.options = null;
  W.cap = null;
  W.wireless = null;
  W.surveyRows = [];
  W.scans = 0;
  W.remoteOn = null;
  W.remoteSilent = false;
  W.remoteUrl = "";
  W.applied = { address: "", password: false, wireless: "" };
  W.unsaved = { address: false, wireless: false };
  W.saved = "";
  $("login-password").value = "";
  $("pw-new").value = $("pw-repeat").value = "";
  W.base = { address: null, password: snapshot("password"), wireless: null };
  $("survey-box").hidden = true;
  updateHeader();
  renderNav();
}

// ---- login

function login() {
  var user = $("login-user").value;
  var password = $("login-password").value;
  if (user === "") {
    showMessage("Enter the user name.", "error");
    return;
  }
  if (utf8Length(user) > 31 || utf8Length(password) > 31) {
    showMessage("The user name and the password can have up to 31 characters each " +
                "(letters with accents and symbols count as two or more).", "error");
    return;
  }
  var cam = W.cam;
  runSync("VerifyAuth_ID_Password_", "Logging in…", function () {
    var rc = toInt(FinderObj.VerifyAuth_ID_Password_(cam.index, user, password));
    if (rc !== 0) {
      loginFailed(cam, rc);
      return;
    }
    // The finder holds what the camera took; the session follows it.
    W.loginRefusals = 0;
    W.user = user;
    W.password = password;
    readOptions();
  });
}

// A refused or unanswered check of a camera already logged in to keeps
// that session: the finder, which now holds the refused credentials, gets
// back the ones in use.
function loginFailed(cam, rc) {
  var kept = W.loggedIn && cam === W.cam;
  if (kept) FinderObj.VerifyAuth_ID_Password_(cam.index, W.user, W.password);
  var still = kept ? "\nYou are still logged in with the user name and password in use." : "";
  if (rc === -2 || rc === -8) {
    // From the second refusal on, the user is told where the password is
    // written; the wrong one is selected so that typing replaces it.
    var again = ++W.loginRefusals > 1;
    showMessage("Login failed" + (again ? " again" : "") + ": the camera did not accept this user name and password." +
                still + (again ? "\n" + LOGIN_HINT : ""), "error");
    placeFocus($("login-password"));
    $("login-password").select();
  } else {
    offerRetry("Login failed. " + NO_ANSWER + still, login);
  }
}

// The user counts as logged in once the camera's information is read.
function readOptions() {
  var cam = W.cam;
  startRequest({
    name: "GetOptionCmd_",
    busy: "Reading what the camera supports…",
    timeoutMs: 20000,
    start: function () { FinderObj.GetOptionCmd_(cam.index); },
    done: function () {
      W.options = null;
      toInt(FinderObj.CheckGetOptionCmd());
      if (!readInfo(login)) return;
      W.loggedIn = true;
      goTo("info");
    }
  });
}
