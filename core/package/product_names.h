// The vendor's and the product's names as preprocessor text, so that the
// version resources (core/package/version_resource.rc) and the code (product.h)
// share one spelling.
#pragma once

#define MDM_COMPANY_NAME "Q.R. Meridian, Inc."
#define MDM_PRODUCT_NAME "Quillnet"
