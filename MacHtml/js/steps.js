// Moving between the steps, the step list, the controls that follow the
// state, and the forms' typed changes.
"use strict";

// ---- forms: what was typed stays until it is applied or discarded

function snapshot(form) {
  return FORM_FIELDS[form].map(function (id) {
    var e = $(id);
    return e.type === "checkbox" || e.type === "radio" ? String(e.checked) : e.value;
  }).join("\u0000");
}

function restore(form, snap) {
  var v = snap.split("\u0000");
  FORM_FIELDS[form].forEach(function (id, k) {
    var e = $(id);
    if (id === "addr-dhcp") $(v[k] === "true" ? "addr-dhcp" : "addr-fixed").checked = true;
    else if (e.type === "checkbox") e.checked = v[k] === "true";
    else e.value = v[k];
    markInvalid(id, false);
  });
  refreshControls();
}

function changed(form) {
  return !!form && W.base[form] !== null && snapshot(form) !== W.base[form];
}

function applyForm(form, then) {
  if (form === "address") applyAddress(then);
  else if (form === "password") changePassword(then);
  else applyWireless(then);
}

// An apply hands its success message to then, which shows it where it
// leads; without then the message shows on the form's own step.
function applied(then, text) {
  if (then) then(text);
  else showMessage(text, "ok");
}

function askLeave(form, step) {
  showMessage("The changes on this page are not applied yet.", "error", [
    { label: "Apply and go on", primary: true, fn: function () {
      applyForm(form, function (text) {
        goTo(step, true);
        if (text) showMessage(text, "ok");
      });
    } },
    { label: "Discard them", fn: function () { restore(form, W.base[form]); goTo(step, true); } },
    { label: "Stay here", cancel: true, fn: stayHere }
  ]);
}

// The forms holding typed changes that were never applied.
function typedForms() {
  return Object.keys(FORM_FIELDS).filter(changed);
}

function unsavedNames() {
  var names = [];
  if (W.unsaved.address) names.push("IP address");
  if (W.unsaved.wireless) names.push("wireless");
  return names;
}

// ---- steps

function stepOpen(step) {
  if (step === "search") return true;
  if (step === "login") return W.cam !== null;
  return W.cam !== null && W.loggedIn;
}

// Leaving a form with changes that are not applied asks first, unless forced.
function goTo(step, force) {
  if (W.busy) return;
  if (!stepOpen(step)) {
    showMessage(W.cam === null ? "Choose a camera on the step Find camera first."
                : "Log in first: the later steps open once the camera has taken the user name and password.", "error");
    return;
  }
  var form = FORM_FIELDS[W.step] ? W.step : null;
  if (!force && step !== W.step && changed(form)) {
    askLeave(form, step);
    return;
  }
  if (step !== "live") stopLive();
  W.step = step;
  clearMessage();
  for (var i = 0; i < STEPS.length; i++) $("step-" + STEPS[i]).hidden = STEPS[i] !== step;
  $("content").scrollTop = 0;
  placeMessages();
  renderNav();
  enterStep(step);
  focusStep();
}

// Done means applied or saved, not merely passed.
function stepDone(step) {
  if (step === "search") return W.cam !== null;
  if (step === "login") return W.loggedIn;
  if (step === "info") return W.info !== null;
  if (step === "address") return W.applied.address !== "";
  if (step === "password") return W.applied.password;
  if (step === "wireless") return W.applied.wireless !== "";
  if (step === "save") return W.saved === "ok" && unsavedNames().length === 0;
  if (step === "remote") return W.remoteUrl !== "";
  return false;
}

function renderNav() {
  var items = document.querySelectorAll("#steps li");
  for (var i = 0; i < items.length; i++) {
    var s = items[i].getAttribute("data-step");
    var open = stepOpen(s);
    items[i].classList.toggle("open", open);
    items[i].classList.toggle("current", s === W.step);
    items[i].classList.toggle("done", open && stepDone(s));
    items[i].tabIndex = open ? 0 : -1;
    items[i].setAttribute("aria-disabled", String(!open));
    if (s === W.step) items[i].setAttribute("aria-current", "step");
    else items[i].removeAttribute("aria-current");
    items[i].setAttribute("aria-label", items[i].textContent + (open && stepDone(s) ? ", done" : ""));
  }
}

function enterStep(step) {
  if (step === "search") {
    if (!W.searching) renderCameraList();
  } else if (step === "login") {
    if (!$("login-user").value) $("login-user").value = "admin";
  } else if (step === "info") {
    renderInfo();
  } else if (step === "address") {
    fillAddressForm();
  } else if (step === "password") {
    $("password-user").textContent = W.user;
  } else if (step === "wireless") {
    if (!W.wireless) loadWireless();
  } else if (step === "save") {
    renderSavePending();
    if (W.options && !W.options.commit)
      showMessage("This camera does not say that it can save settings; it may use new settings at once.", "");
  } else if (step === "remote") {
    if (W.remoteOn === null) readRemoteState();
    renderRemote();
  } else if (step === "live") {
    startLive();
  } else if (step === "finish") {
    renderFinish();
  }
  refreshControls();
}

function refreshControls() {
  if (W.busy) return;
  var dhcp = $("addr-dhcp").checked;
  var fixed = ["addr-ip", "addr-mask", "addr-gateway", "addr-dns1", "addr-dns2"];
  for (var i = 0; i < fixed.length; i++) $(fixed[i]).disabled = dhcp;
  $("address-btn").disabled = !W.info;
  $("wireless-btn").disabled = !W.wireless;
  $("survey-btn").disabled = !W.wireless || (W.options !== null && !W.options.survey);
  var wirelessOff = !W.wireless || !$("wl-enable").checked;
  WIRELESS_DETAILS.forEach(function (id) { $(id).disabled = wirelessOff; });
  var enc = toInt($("wl-enc").value);
  $("wep-fields").hidden = enc !== ENC_WEP;
  $("wpa-fields").hidden = !(enc > ENC_WEP);
  var show = $("wl-show-keys").checked ? "text" : "password";
  $("wl-wepkey").type = show;
  $("wl-wpakey").type = show;
  $("login-password").type = $("login-show").checked ? "text" : "password";
  $("pw-new").type = $("pw-repeat").type = $("pw-show").checked ? "text" : "password";
  markFittingEncryptions();
  passwordHint();
  $("remote-btn").textContent = W.remoteOn ? "Read the remote address" : "Turn on remote access";
  $("remote-btn").disabled = W.remoteOn === null;
  // The button that applies is the primary one only when there is
  // something to apply; otherwise Next is.
  primaryOf("address", changed("address"), $("address-btn"));
  primaryOf("password", changed("password"), $("password-btn"));
  primaryOf("wireless", changed("wireless"), $("wireless-btn"));
  primaryOf("save", unsavedNames().length > 0, $("save-btn"));
  primaryOf("remote", W.remoteUrl === "", $("remote-btn"));
}

function primaryOf(step, applies, button) {
  button.classList.toggle("quiet", !applies);
  $("step-" + step).querySelector("button.next").classList.toggle("quiet", applies);
}

function updateHeader() {
  $("camera-line").textContent = W.cam
    ? cameraLabel(W.cam) + "  ·  " + formatMac(W.cam.mac) + (W.cam.ip ? "  ·  " + W.cam.ip : "")
    : "No camera selected";
}

function updateIcon() {
  var icon = $("model-icon");
  icon.classList.remove("missing");
  icon.src = encodeURIComponent(W.model) + ".icns";
}
