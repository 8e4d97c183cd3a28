# Test folders built in the update-checking edition (KX4_EDITION=update). Its own tests
# cover everything that differs (edition/Edition.h lists it); of the shared subjects only a
# fast smoke set runs again here, since the current edition's build already tests the
# same code. The link, image, runner, sim and interface subjects are left out on purpose:
# they check the current edition's detection, display profile, controller and pages.
set(KX4_EDITION_TEST_SUBJECTS common models drop config edition)
