#pragma once

#include "platform/store/Model.h"

#include <QString>

#include <memory>

// The compiled store model "Quendel": every entity of the journal with its attributes, relationships,
// inverses and delete rules, each entity bound to the class that represents its records.
class QuendelModel
{
public:
    static inline const QString ModelName = QStringLiteral("Quendel");
    static constexpr int ModelVersion = 1;
    // Every transformable attribute is kept as a keyed archive (platform::core::KeyedArchive) under this
    // transformer, which create() registers.
    static inline const QString ArchiveTransformerName = QStringLiteral("QDKeyedArchiveValueTransformer");

    // Builds a new model. Entities whose class lives in the application get a plain entity-base object
    // unless the application installed its own factory first.
    static std::shared_ptr<platform::store::ManagedObjectModel> create();

    // The application installs the classes it owns (the voice note) at launch, before any model is built.
    static void setEntityClassFactory(const QString &entityName, platform::store::EntityDescription::Factory factory);
};
