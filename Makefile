# The two commands of the README.
.PHONY: demo test
demo:
	bash scripts/demo.sh
test:
	bash scripts/test.sh
